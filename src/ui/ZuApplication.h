#pragma once

#include <memory>

#include "foundation/NotificationCenter.h"
#include "uikit/UIApplication.h"
#include "uikit/UIEvent.h"

namespace lumora {

// Posted on the default notification centre by `ZuApplication` after it has dispatched an event; the
// object is the dispatched `uikit::UIEvent`, there is no user info.
inline const foundation::Notification::Name UIApplicationDidSendEvent = "UIApplicationDidSendEvent";

// The application class a host installs (`uikit::UIApplication::setShared(lumora::ZuApplication::create())`)
// so that the kit sees every input event: the player's idle timer restarts its countdown on the touches it
// reports. A host that keeps the plain application gets no touch-driven restarts. Main thread only.
class ZuApplication : public uikit::UIApplication {
  public:
    static std::shared_ptr<ZuApplication> create();

    // Lets the application dispatch `event` first, then posts `UIApplicationDidSendEvent` with it.
    void sendEvent(const std::shared_ptr<uikit::UIEvent>& event) override;

  protected:
    ZuApplication() = default;
};

}  // namespace lumora
