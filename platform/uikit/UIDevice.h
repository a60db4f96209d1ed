#pragma once

#include <mutex>
#include <string>

#include "uikit/UITraitCollection.h"

namespace uikit {

// The device the program runs on.
class UIDevice {
  public:
    static UIDevice& current();

    // The kind of device the interface is made for: a phone unless a host or test sets another
    // (a tablet, a television...). Safe from any thread.
    UIUserInterfaceIdiom userInterfaceIdiom() const;
    void setUserInterfaceIdiom(UIUserInterfaceIdiom idiom);

    // The host name.
    std::string name() const;
    // The kernel's name ("Linux") and release.
    std::string systemName() const;
    std::string systemVersion() const;
    // The machine's hardware name ("x86_64").
    std::string model() const;

    UIDevice(const UIDevice&) = delete;
    UIDevice& operator=(const UIDevice&) = delete;

  private:
    UIDevice() = default;
    mutable std::mutex mutex_;  // guards idiom_
    UIUserInterfaceIdiom idiom_ = UIUserInterfaceIdiom::phone;
};

}  // namespace uikit
