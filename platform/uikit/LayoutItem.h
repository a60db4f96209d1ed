#pragma once

#include <compare>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIGeometry.h"

namespace uikit {

namespace layout {
class LayoutEngine;
}

class UIView;
class UILayoutGuide;
class NSLayoutXAxisAnchor;
class NSLayoutYAxisAnchor;
class NSLayoutDimension;
class ConstraintViewDSL;
class NSLayoutConstraint;

// Attributes of a layout item, with the platform's raw values. The toolkit lays out left to right only,
// so leading is left and trailing is right.
enum class NSLayoutAttribute {
    notAnAttribute = 0,
    left = 1,
    right = 2,
    top = 3,
    bottom = 4,
    leading = 5,
    trailing = 6,
    width = 7,
    height = 8,
    centerX = 9,
    centerY = 10,
};

enum class NSLayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

// The axis of a size-related setting (content hugging, compression resistance, stack views).
enum class UILayoutConstraintAxis { horizontal = 0, vertical = 1 };

// A constraint priority: 1000 is required, 1 to 999 are preferences (a higher one is always satisfied
// first, however many lower ones it costs). Numbers convert implicitly: `priority(999)`.
struct UILayoutPriority {
    float rawValue = 1000;

    constexpr UILayoutPriority() = default;
    constexpr UILayoutPriority(float value) : rawValue(value) {}  // NOLINT(google-explicit-constructor)
    constexpr UILayoutPriority(double value) : rawValue(static_cast<float>(value)) {}  // NOLINT
    constexpr UILayoutPriority(int value) : rawValue(static_cast<float>(value)) {}     // NOLINT

    static constexpr UILayoutPriority required() { return 1000.0f; }
    static constexpr UILayoutPriority defaultHigh() { return 750.0f; }
    static constexpr UILayoutPriority defaultLow() { return 250.0f; }
    static constexpr UILayoutPriority fittingSizeLevel() { return 50.0f; }

    friend constexpr UILayoutPriority operator+(UILayoutPriority p, float d) { return p.rawValue + d; }
    friend constexpr UILayoutPriority operator-(UILayoutPriority p, float d) { return p.rawValue - d; }
    friend constexpr auto operator<=>(const UILayoutPriority&, const UILayoutPriority&) = default;
    friend constexpr bool operator==(const UILayoutPriority&, const UILayoutPriority&) = default;
};

const char* toString(NSLayoutAttribute attribute);
const char* toString(NSLayoutRelation relation);

// Anything constraints can relate: a view or a layout guide. Every item has the ten anchors and the
// declarative constraint maker (`snp()`).
class LayoutItem {
  public:
    virtual ~LayoutItem();
    LayoutItem(const LayoutItem&) = delete;
    LayoutItem& operator=(const LayoutItem&) = delete;

    // The item whose coordinate space this one lives in: a view's superview, a guide's owning view.
    virtual LayoutItem* layoutParent() const = 0;
    // A shared pointer to this item (empty while it is being constructed).
    virtual std::shared_ptr<LayoutItem> layoutItemPointer() = 0;
    // How log lines and descriptions name the item, e.g. "UILabel(0x5581…)".
    virtual std::string layoutItemDescription() const = 0;
    virtual UIView* asView() { return nullptr; }
    virtual UILayoutGuide* asLayoutGuide() { return nullptr; }

    NSLayoutXAxisAnchor leadingAnchor();
    NSLayoutXAxisAnchor trailingAnchor();
    NSLayoutXAxisAnchor leftAnchor();
    NSLayoutXAxisAnchor rightAnchor();
    NSLayoutXAxisAnchor centerXAnchor();
    NSLayoutYAxisAnchor topAnchor();
    NSLayoutYAxisAnchor bottomAnchor();
    NSLayoutYAxisAnchor centerYAnchor();
    NSLayoutDimension widthAnchor();
    NSLayoutDimension heightAnchor();

    // The declarative maker: `view->snp().makeConstraints([&](ConstraintMaker& make) { ... })`.
    ConstraintViewDSL snp();

    // Whether the layout engine currently uses this item (some active constraint mentions it).
    bool isInLayoutEngine() const { return engineUses_ > 0; }

  protected:
    LayoutItem() = default;

  private:
    friend class layout::LayoutEngine;
    friend class ConstraintViewDSL;
    int engineUses_ = 0;
    // Constraints made for this item by its declarative maker, in order (active or not).
    std::vector<std::shared_ptr<NSLayoutConstraint>> madeConstraints_;
};

}  // namespace uikit
