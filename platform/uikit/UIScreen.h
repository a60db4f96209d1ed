#pragma once

#include <memory>

#include "uikit/UIGeometry.h"
#include "uikit/UITraitCollection.h"

namespace uikit {

// A display. `main()` is the device's screen: by default a phone of 390 × 844 points at scale 3; tests and
// hosts may replace it, or change its bounds (a rotation) and scale.
class UIScreen : public std::enable_shared_from_this<UIScreen> {
  public:
    static std::shared_ptr<UIScreen> create(const CGRect& bounds, CGFloat scale,
                                            UIUserInterfaceIdiom idiom = UIUserInterfaceIdiom::phone);
    static std::shared_ptr<UIScreen> main();
    // Installs `screen` as the main screen; nullptr restores the default one.
    static void setMain(std::shared_ptr<UIScreen> screen);

    CGRect bounds() const { return bounds_; }
    void setBounds(const CGRect& bounds) { bounds_ = bounds; }
    CGFloat scale() const { return scale_; }
    void setScale(CGFloat scale) { scale_ = scale > 0 ? scale : 1; }
    // Pixels: the bounds times the scale.
    CGRect nativeBounds() const;
    UIUserInterfaceIdiom idiom() const { return idiom_; }
    void setIdiom(UIUserInterfaceIdiom idiom) { idiom_ = idiom; }
    UITraitCollection traitCollection() const;

  private:
    UIScreen(const CGRect& bounds, CGFloat scale, UIUserInterfaceIdiom idiom);

    CGRect bounds_;
    CGFloat scale_;
    UIUserInterfaceIdiom idiom_;
};

}  // namespace uikit
