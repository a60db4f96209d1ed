#pragma once

#include <memory>
#include <vector>

#include "uikit/UIView.h"

namespace uikit {

// Lines up its arranged subviews along an axis with constraints it maintains itself (rebuilt in
// `updateConstraints()` whenever the arrangement, a setting or a member's visibility changes). Hidden
// arranged views take no space and no spacing.
//
// Distribution along the axis: `fill` keeps the members at their intrinsic sizes as far as their hugging
// and compression-resistance priorities allow, the last of the members with the lowest priorities
// absorbing what is left; `fillEqually` gives all the same size; `equalSpacing` keeps the members at their
// sizes and spreads the gaps evenly (at least `spacing`). `fillProportionally` and `equalCentering` lay
// out as `fill`. Alignment across the axis: `fill` stretches the members; `leading` / `top`, `center` and
// `trailing` / `bottom` place them inside the stack, which then wraps the largest; the baseline alignments
// lay out as `top`.
class UIStackView : public UIView {
  public:
    enum class Distribution { fill = 0, fillEqually = 1, fillProportionally = 2, equalSpacing = 3, equalCentering = 4 };
    enum class Alignment {
        fill = 0,
        leading = 1,
        top = 1,
        firstBaseline = 2,
        center = 3,
        trailing = 4,
        bottom = 4,
        lastBaseline = 5,
    };

    static std::shared_ptr<UIStackView> create(const CGRect& frame = CGRect());
    // The platform's `init(arrangedSubviews:)`.
    static std::shared_ptr<UIStackView> create(const std::vector<std::shared_ptr<UIView>>& arrangedSubviews);
    ~UIStackView() override;

    const std::vector<std::shared_ptr<UIView>>& arrangedSubviews() const { return arranged_; }
    // Appends (adding it as a subview when it is not one).
    void addArrangedSubview(const std::shared_ptr<UIView>& view);
    void insertArrangedSubviewAt(const std::shared_ptr<UIView>& view, std::size_t index);
    // Stops arranging the view; it stays a subview (remove it from the superview to take it away).
    void removeArrangedSubview(const std::shared_ptr<UIView>& view);

    Axis axis() const { return axis_; }
    void setAxis(Axis axis);
    CGFloat spacing() const { return spacing_; }
    void setSpacing(CGFloat spacing);
    Alignment alignment() const { return alignment_; }
    void setAlignment(Alignment alignment);
    Distribution distribution() const { return distribution_; }
    void setDistribution(Distribution distribution);
    // Arrange within the layout margins instead of the bounds.
    bool isLayoutMarginsRelativeArrangement() const { return marginsRelative_; }
    void setIsLayoutMarginsRelativeArrangement(bool flag);

    void updateConstraints() override;
    void willRemoveSubview(const std::shared_ptr<UIView>& subview) override;

  protected:
    explicit UIStackView(const CGRect& frame);

  private:
    void subviewDidChangeVisibility(UIView& subview) override;
    void setNeedsRearrangement();
    void rebuild();
    void clearArrangement();

    std::vector<std::shared_ptr<UIView>> arranged_;
    Axis axis_ = Axis::horizontal;
    CGFloat spacing_ = 0;
    Alignment alignment_ = Alignment::fill;
    Distribution distribution_ = Distribution::fill;
    bool marginsRelative_ = false;
    bool needsRearrangement_ = false;
    std::vector<std::shared_ptr<NSLayoutConstraint>> arrangement_;
    std::vector<std::shared_ptr<UILayoutGuide>> spacers_;
};

}  // namespace uikit
