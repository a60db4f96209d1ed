#pragma once

#include <functional>
#include <memory>

#include "keymoments/BIF.h"
#include "quartzcore/CALayer.h"
#include "ui/ZuStyleManager.h"
#include "uikit/UIImageView.h"
#include "uikit/UIView.h"

namespace lumora {

// The thumbnail that floats above the slider while the viewer drags it: an image over a dark shadow, its
// horizontal centre asked for from outside (`centerXPoint`, then `setNeedsLayout()`) and kept inside the
// view's bounds. The image view is as high as the layout margins leave room for (at most the style's
// thumbnail height) and `aspectRatio` times as wide, with a border in the view's tint colour from the start.
// Main thread only.
class ZuScrubberSingleThumbnailView : public uikit::UIView {
  public:
    using CenterHandler = std::function<void(uikit::CGPoint center)>;

    static std::shared_ptr<ZuScrubberSingleThumbnailView> create(const uikit::CGRect& frame = uikit::CGRect());

    // Called after each layout with the image view's centre. Nothing in the kit sets it.
    const CenterHandler& didUpdateThumbnailViewCenter() const { return didUpdateThumbnailViewCenter_; }
    void setDidUpdateThumbnailViewCenter(CenterHandler handler) { didUpdateThumbnailViewCenter_ = std::move(handler); }

    const ZuStyleManager::Thumbnails& styles() const { return styles_; }

    // The wanted centre x, in the view's own coordinates. 0 at first.
    uikit::CGFloat centerXPoint() const { return centerXPoint_; }
    void setCenterXPoint(uikit::CGFloat x) { centerXPoint_ = x; }

    const std::shared_ptr<uikit::UIImageView>& imageView() const { return imageView_; }
    // Behind the image; moved and resized without implicit animation.
    const std::shared_ptr<quartzcore::CALayer>& shadowLayer() const { return shadowLayer_; }

    // What the slider does on each change of its value while the thumbnail shows: with p = (value −
    // minimumValue) ÷ (maximumValue − minimumValue) (0 for an empty range), a p within 0…1 moves the wanted
    // centre to that fraction of the layout margins' width and asks for layout; a p outside (or not a
    // number) leaves the thumbnail where it is. Either way the image becomes the index's image of `value`
    // seconds, or none without an index.
    void followValue(double value, double minimumValue, double maximumValue, const BIF* bif);

    uikit::CGSize intrinsicContentSize() const override;
    // Centres the image at `centerXPoint`, clamped to [minX + half its width, maxX − half its width] (the
    // upper limit wins when the view is narrower than the image), moves the shadow under it and reports
    // the new centre.
    void layoutSubviews() override;
    // The image's border (the style's, applied when the view is made) takes the new tint colour.
    void tintColorDidChange() override;

  protected:
    explicit ZuScrubberSingleThumbnailView(const uikit::CGRect& frame);

  private:
    CenterHandler didUpdateThumbnailViewCenter_;
    ZuStyleManager::Thumbnails styles_;
    uikit::CGFloat centerXPoint_ = 0;
    std::shared_ptr<uikit::UIImageView> imageView_;
    std::shared_ptr<quartzcore::CALayer> shadowLayer_;
};

}  // namespace lumora
