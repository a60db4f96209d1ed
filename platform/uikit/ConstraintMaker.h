#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "uikit/LayoutItem.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UIGeometry.h"

namespace uikit {

class ConstraintMaker;
class NSLayoutConstraint;

// The declarative constraint maker the kit's views are written with:
//
//   view->snp().makeConstraints([&](ConstraintMaker& make) {
//       make.edges().equalToSuperview().priority(999);
//       make.width().equalTo(other->snp().height()).multipliedBy(16.0 / 9.0);
//       make.leading().greaterThanOrEqualTo(icon->snp().trailing()).offset(8);
//       make.centerY().equalTo(host->layoutMarginsGuide()).multipliedBy(1.2);
//       make.size().equalTo(CGSize{44, 44});
//       make.top().bottom().equalToSuperview().inset(4);
//   });
//
// Each `make.<attributes>()` starts a description; further attributes can be chained before the relation.
// The target of a relation is another item's attribute (`other->snp().trailing()`), an item (a view or a
// guide: the same attributes of it), the superview, or a constant: a number is a width / height, or for
// position attributes an offset from the superview's same attribute; a CGSize gives width and height, a
// CGPoint the x and y offsets from the superview. Then `offset`, `inset` (positive insets move the edges
// inwards), `multipliedBy` / `dividedBy` and `priority` (required 1000, high 750, medium 500, low 250, or a
// number) adjust it. `makeConstraints` turns the constrained view's autoresizing-mask translation off and
// activates what it made.
//
// `remakeConstraints` first deactivates the constraints this maker made for this item (and only those);
// `updateConstraints` changes the constant and priority of the made constraints that relate the same
// attributes of the same items with the same relation and multiplier, and adds the others.
struct ConstraintPriority {
    float value = 1000;
    constexpr ConstraintPriority(float v) : value(v) {}                       // NOLINT(google-explicit-constructor)
    constexpr ConstraintPriority(double v) : value(static_cast<float>(v)) {}  // NOLINT
    constexpr ConstraintPriority(int v) : value(static_cast<float>(v)) {}     // NOLINT
    constexpr ConstraintPriority(UILayoutPriority p) : value(p.rawValue) {}   // NOLINT
    static constexpr ConstraintPriority required() { return 1000.0f; }
    static constexpr ConstraintPriority high() { return 750.0f; }
    static constexpr ConstraintPriority medium() { return 500.0f; }
    static constexpr ConstraintPriority low() { return 250.0f; }
    friend constexpr ConstraintPriority operator+(ConstraintPriority p, float d) { return p.value + d; }
    friend constexpr ConstraintPriority operator-(ConstraintPriority p, float d) { return p.value - d; }
};

// A set of attributes of an item: `other->snp().trailing()`, `other->snp().edges()`.
class ConstraintItem {
  public:
    ConstraintItem(std::shared_ptr<LayoutItem> item, unsigned attributes)
        : item_(std::move(item)), attributes_(attributes) {}
    const std::shared_ptr<LayoutItem>& item() const { return item_; }
    unsigned attributes() const { return attributes_; }

  private:
    std::shared_ptr<LayoutItem> item_;
    unsigned attributes_;
};

// Attribute bits of the maker.
namespace constraint_attributes {
constexpr unsigned left = 1u << 0;
constexpr unsigned top = 1u << 1;
constexpr unsigned right = 1u << 2;
constexpr unsigned bottom = 1u << 3;
constexpr unsigned leading = 1u << 4;
constexpr unsigned trailing = 1u << 5;
constexpr unsigned width = 1u << 6;
constexpr unsigned height = 1u << 7;
constexpr unsigned centerX = 1u << 8;
constexpr unsigned centerY = 1u << 9;
constexpr unsigned edges = top | left | bottom | right;
constexpr unsigned size = width | height;
constexpr unsigned center = centerX | centerY;
}  // namespace constraint_attributes

namespace detail {

struct SuperviewTarget {};

struct ConstraintDescription {
    unsigned attributes = 0;
    NSLayoutRelation relation = NSLayoutRelation::equal;
    bool hasRelation = false;
    std::variant<std::monostate, ConstraintItem, SuperviewTarget, CGFloat, CGSize, CGPoint> target;
    CGFloat multiplier = 1;
    // Constant adjustments, per attribute kind.
    CGFloat offset = 0;
    CGPoint offsetPoint;
    CGSize offsetSize;
    UIEdgeInsets insets;
    UILayoutPriority priority = 1000.0f;
    std::string label;
};

}  // namespace detail

// After the relation: the adjustments.
class ConstraintMakerEditable {
  public:
    explicit ConstraintMakerEditable(detail::ConstraintDescription* d) : d_(d) {}
    ConstraintMakerEditable offset(CGFloat amount);
    ConstraintMakerEditable offset(CGPoint amount);
    ConstraintMakerEditable offset(CGSize amount);
    ConstraintMakerEditable inset(CGFloat amount);
    ConstraintMakerEditable inset(const UIEdgeInsets& amount);
    ConstraintMakerEditable multipliedBy(CGFloat amount);
    ConstraintMakerEditable dividedBy(CGFloat amount);
    ConstraintMakerEditable priority(ConstraintPriority amount);
    ConstraintMakerEditable labeled(std::string label);

  private:
    detail::ConstraintDescription* d_;
};

// Before the relation.
class ConstraintMakerRelatable {
  public:
    explicit ConstraintMakerRelatable(detail::ConstraintDescription* d) : d_(d) {}
    ConstraintMakerEditable equalTo(const ConstraintItem& other);
    ConstraintMakerEditable equalTo(const std::shared_ptr<LayoutItem>& other);
    ConstraintMakerEditable equalTo(CGFloat constant);
    ConstraintMakerEditable equalTo(CGSize size);
    ConstraintMakerEditable equalTo(CGPoint point);
    ConstraintMakerEditable equalToSuperview();
    ConstraintMakerEditable greaterThanOrEqualTo(const ConstraintItem& other);
    ConstraintMakerEditable greaterThanOrEqualTo(const std::shared_ptr<LayoutItem>& other);
    ConstraintMakerEditable greaterThanOrEqualTo(CGFloat constant);
    ConstraintMakerEditable greaterThanOrEqualTo(CGSize size);
    ConstraintMakerEditable greaterThanOrEqualToSuperview();
    ConstraintMakerEditable lessThanOrEqualTo(const ConstraintItem& other);
    ConstraintMakerEditable lessThanOrEqualTo(const std::shared_ptr<LayoutItem>& other);
    ConstraintMakerEditable lessThanOrEqualTo(CGFloat constant);
    ConstraintMakerEditable lessThanOrEqualTo(CGSize size);
    ConstraintMakerEditable lessThanOrEqualToSuperview();

  protected:
    ConstraintMakerEditable relate(
        NSLayoutRelation relation,
        std::variant<std::monostate, ConstraintItem, detail::SuperviewTarget, CGFloat, CGSize, CGPoint> target);
    detail::ConstraintDescription* d_;
};

// Right after `make.<attribute>()`: more attributes may follow.
class ConstraintMakerExtendable : public ConstraintMakerRelatable {
  public:
    using ConstraintMakerRelatable::ConstraintMakerRelatable;
    ConstraintMakerExtendable left();
    ConstraintMakerExtendable top();
    ConstraintMakerExtendable right();
    ConstraintMakerExtendable bottom();
    ConstraintMakerExtendable leading();
    ConstraintMakerExtendable trailing();
    ConstraintMakerExtendable width();
    ConstraintMakerExtendable height();
    ConstraintMakerExtendable centerX();
    ConstraintMakerExtendable centerY();
    ConstraintMakerExtendable edges();
    ConstraintMakerExtendable size();
    ConstraintMakerExtendable center();

  private:
    ConstraintMakerExtendable add(unsigned attributes);
};

class ConstraintMaker {
  public:
    ConstraintMakerExtendable left() { return start(constraint_attributes::left); }
    ConstraintMakerExtendable top() { return start(constraint_attributes::top); }
    ConstraintMakerExtendable right() { return start(constraint_attributes::right); }
    ConstraintMakerExtendable bottom() { return start(constraint_attributes::bottom); }
    ConstraintMakerExtendable leading() { return start(constraint_attributes::leading); }
    ConstraintMakerExtendable trailing() { return start(constraint_attributes::trailing); }
    ConstraintMakerExtendable width() { return start(constraint_attributes::width); }
    ConstraintMakerExtendable height() { return start(constraint_attributes::height); }
    ConstraintMakerExtendable centerX() { return start(constraint_attributes::centerX); }
    ConstraintMakerExtendable centerY() { return start(constraint_attributes::centerY); }
    ConstraintMakerExtendable edges() { return start(constraint_attributes::edges); }
    ConstraintMakerExtendable size() { return start(constraint_attributes::size); }
    ConstraintMakerExtendable center() { return start(constraint_attributes::center); }

  private:
    friend class ConstraintViewDSL;
    explicit ConstraintMaker(LayoutItem& item) : item_(item) {}
    ConstraintMakerExtendable start(unsigned attributes);
    // The constraints the descriptions stand for (inactive), in description order.
    std::vector<std::shared_ptr<NSLayoutConstraint>> build() const;

    LayoutItem& item_;
    std::vector<std::unique_ptr<detail::ConstraintDescription>> descriptions_;
};

// `item->snp()`: the maker entry points and the item's attributes as relation targets.
class ConstraintViewDSL {
  public:
    explicit ConstraintViewDSL(LayoutItem& item) : item_(item) {}

    using Closure = std::function<void(ConstraintMaker&)>;
    void makeConstraints(const Closure& closure);
    void remakeConstraints(const Closure& closure);
    void updateConstraints(const Closure& closure);
    // Deactivates and forgets every constraint this maker made for the item.
    void removeConstraints();
    // The constraints this maker made for the item and that are still active, in order.
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints() const;

    ConstraintItem left() const { return attr(constraint_attributes::left); }
    ConstraintItem top() const { return attr(constraint_attributes::top); }
    ConstraintItem right() const { return attr(constraint_attributes::right); }
    ConstraintItem bottom() const { return attr(constraint_attributes::bottom); }
    ConstraintItem leading() const { return attr(constraint_attributes::leading); }
    ConstraintItem trailing() const { return attr(constraint_attributes::trailing); }
    ConstraintItem width() const { return attr(constraint_attributes::width); }
    ConstraintItem height() const { return attr(constraint_attributes::height); }
    ConstraintItem centerX() const { return attr(constraint_attributes::centerX); }
    ConstraintItem centerY() const { return attr(constraint_attributes::centerY); }
    ConstraintItem edges() const { return attr(constraint_attributes::edges); }
    ConstraintItem size() const { return attr(constraint_attributes::size); }
    ConstraintItem center() const { return attr(constraint_attributes::center); }

  private:
    ConstraintItem attr(unsigned attributes) const { return ConstraintItem(item_.layoutItemPointer(), attributes); }
    std::vector<std::shared_ptr<NSLayoutConstraint>> prepare(const Closure& closure);

    LayoutItem& item_;
};

}  // namespace uikit
