#pragma once

#include <memory>

#include "uikit/UIImage.h"
#include "uikit/UIView.h"

namespace uikit {

// Shows an image, placed in the bounds by the view's content mode. Its intrinsic size is the image's size
// in points (no intrinsic size without an image).
class UIImageView : public UIView {
  public:
    static std::shared_ptr<UIImageView> create(const CGRect& frame = CGRect());
    // The platform's `init(image:)`: a view the size of the image.
    static std::shared_ptr<UIImageView> create(std::shared_ptr<UIImage> image);

    std::shared_ptr<UIImage> image() const { return image_; }
    void setImage(std::shared_ptr<UIImage> image);
    // Where the image is drawn in the bounds, per the content mode (the bounds when there is no image).
    CGRect imageRect() const;

    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    // Draws the image into the current context (template images: their shape in the tint colour).
    void draw(const CGRect& rect) override;
    void tintColorDidChange() override;
    std::string snapshotAttributes() const override;

  protected:
    explicit UIImageView(const CGRect& frame);

  private:
    std::shared_ptr<UIImage> image_;
};

}  // namespace uikit
