#pragma once

#include <memory>

#include "uikit/UIColor.h"
#include "uikit/UIView.h"

namespace uikit {

// A spinner that shows something is under way: eight spokes in its colour, fading round the circle. It does
// not draw frames of an animation (one still frame is drawn): `isAnimating`
// is its state. While stopped with `hidesWhenStopped` (the default) it is hidden; starting shows it.
class UIActivityIndicatorView : public UIView {
  public:
    // Raw values as on the platform.
    enum class Style { whiteLarge = 0, white = 1, gray = 2, medium = 100, large = 101 };

    static std::shared_ptr<UIActivityIndicatorView> create(Style style = Style::medium);
    static std::shared_ptr<UIActivityIndicatorView> create(const CGRect& frame);

    Style style() const { return style_; }
    void setStyle(Style style);
    // White for the white styles, grey otherwise, unless set.
    UIColor color() const;
    void setColor(std::optional<UIColor> color);
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool flag);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return isAnimating_; }

    // 20 × 20 points, 37 × 37 for the large styles.
    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    std::string snapshotAttributes() const override;
    void draw(const CGRect& rect) override;

  protected:
    UIActivityIndicatorView(Style style, const CGRect& frame);

  private:
    Style style_;
    std::optional<UIColor> color_;
    bool hidesWhenStopped_ = true;
    bool isAnimating_ = false;
};

}  // namespace uikit
