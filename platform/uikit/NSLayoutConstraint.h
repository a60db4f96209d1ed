#pragma once

#include <memory>
#include <string>
#include <vector>

#include "uikit/LayoutItem.h"

namespace uikit {

// A relation between two attributes: first.attribute (relation) second.attribute × multiplier + constant,
// or, without a second item, a width or height (relation) constant. Measured in the coordinate space of
// the items' nearest common ancestor, whatever branches of the tree they sit in.
//
// Activating a constraint installs it on that common ancestor (`UIView::constraints()`) and hands it to
// the layout engine, which takes it into account at the next layout pass. A required constraint that
// contradicts those already in force is reported on stderr (naming the views) and dropped: it becomes
// inactive again; nothing crashes. Items are held weakly.
class NSLayoutConstraint : public std::enable_shared_from_this<NSLayoutConstraint> {
  public:
    using Attribute = NSLayoutAttribute;
    using Relation = NSLayoutRelation;
    using Axis = UILayoutConstraintAxis;

    // The platform's `init(item:attribute:relatedBy:toItem:attribute:multiplier:constant:)`. Inactive.
    static std::shared_ptr<NSLayoutConstraint> create(const std::shared_ptr<LayoutItem>& item, Attribute attribute,
                                                      Relation relatedBy, const std::shared_ptr<LayoutItem>& toItem,
                                                      Attribute toAttribute, CGFloat multiplier = 1,
                                                      CGFloat constant = 0);
    ~NSLayoutConstraint();

    static void activate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
    static void deactivate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);

    std::shared_ptr<LayoutItem> firstItem() const { return first_.lock(); }
    Attribute firstAttribute() const { return firstAttribute_; }
    Relation relation() const { return relation_; }
    std::shared_ptr<LayoutItem> secondItem() const { return second_.lock(); }
    Attribute secondAttribute() const { return secondAttribute_; }
    CGFloat multiplier() const { return multiplier_; }

    CGFloat constant() const { return constant_; }
    // Takes effect at the next layout pass, incrementally.
    void setConstant(CGFloat constant);
    UILayoutPriority priority() const { return priority_; }
    // Values are clamped to [1, 1000].
    void setPriority(UILayoutPriority priority);
    bool isActive() const { return isActive_; }
    void setIsActive(bool active);
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

    // "UILabel(0x…).leading >= UIView(0x…).trailing + 8 @999".
    std::string description() const;

    // The view the constraint is installed on while active (the items' common ancestor).
    std::shared_ptr<UIView> installedOn() const;

  private:
    NSLayoutConstraint() = default;
    friend class layout::LayoutEngine;
    friend class UIView;

    std::weak_ptr<LayoutItem> first_;
    std::weak_ptr<LayoutItem> second_;
    // Raw identities of the items for the engine's bookkeeping (never dereferenced once an item is gone).
    LayoutItem* firstRaw_ = nullptr;
    LayoutItem* secondRaw_ = nullptr;
    Attribute firstAttribute_ = Attribute::notAnAttribute;
    Attribute secondAttribute_ = Attribute::notAnAttribute;
    Relation relation_ = Relation::equal;
    CGFloat multiplier_ = 1;
    CGFloat constant_ = 0;
    UILayoutPriority priority_;
    bool isActive_ = false;
    std::string identifier_;
    UIView* installedOn_ = nullptr;
};

// Anchors: typed handles on one attribute of an item, to write constraints readably:
// `label->leadingAnchor().constraintEqualTo(icon->trailingAnchor(), 8)->setIsActive(true)`.
// The returned constraints are inactive.
template <class AnchorType>
class NSLayoutAnchor {
  public:
    NSLayoutAnchor(std::shared_ptr<LayoutItem> item, NSLayoutAttribute attribute)
        : item_(std::move(item)), attribute_(attribute) {}

    std::shared_ptr<NSLayoutConstraint> constraintEqualTo(const AnchorType& anchor, CGFloat constant = 0) const {
        return make(NSLayoutRelation::equal, anchor, 1, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualTo(const AnchorType& anchor,
                                                                       CGFloat constant = 0) const {
        return make(NSLayoutRelation::greaterThanOrEqual, anchor, 1, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualTo(const AnchorType& anchor,
                                                                    CGFloat constant = 0) const {
        return make(NSLayoutRelation::lessThanOrEqual, anchor, 1, constant);
    }

    const std::shared_ptr<LayoutItem>& item() const { return item_; }
    NSLayoutAttribute attribute() const { return attribute_; }

  protected:
    std::shared_ptr<NSLayoutConstraint> make(NSLayoutRelation relation, const AnchorType& anchor, CGFloat multiplier,
                                             CGFloat constant) const {
        return NSLayoutConstraint::create(item_, attribute_, relation, anchor.item_, anchor.attribute_, multiplier,
                                          constant);
    }

    std::shared_ptr<LayoutItem> item_;
    NSLayoutAttribute attribute_;
};

class NSLayoutXAxisAnchor : public NSLayoutAnchor<NSLayoutXAxisAnchor> {
  public:
    using NSLayoutAnchor::NSLayoutAnchor;
};

class NSLayoutYAxisAnchor : public NSLayoutAnchor<NSLayoutYAxisAnchor> {
  public:
    using NSLayoutAnchor::NSLayoutAnchor;
};

class NSLayoutDimension : public NSLayoutAnchor<NSLayoutDimension> {
  public:
    using NSLayoutAnchor::NSLayoutAnchor;
    using NSLayoutAnchor::constraintEqualTo;
    using NSLayoutAnchor::constraintGreaterThanOrEqualTo;
    using NSLayoutAnchor::constraintLessThanOrEqualTo;

    std::shared_ptr<NSLayoutConstraint> constraintEqualToConstant(CGFloat constant) const {
        return single(NSLayoutRelation::equal, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToConstant(CGFloat constant) const {
        return single(NSLayoutRelation::greaterThanOrEqual, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToConstant(CGFloat constant) const {
        return single(NSLayoutRelation::lessThanOrEqual, constant);
    }
    // `constraint(equalTo:multiplier:constant:)` and its inequality forms.
    std::shared_ptr<NSLayoutConstraint> constraintEqualTo(const NSLayoutDimension& anchor, CGFloat multiplier,
                                                          CGFloat constant) const {
        return make(NSLayoutRelation::equal, anchor, multiplier, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualTo(const NSLayoutDimension& anchor,
                                                                       CGFloat multiplier, CGFloat constant) const {
        return make(NSLayoutRelation::greaterThanOrEqual, anchor, multiplier, constant);
    }
    std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualTo(const NSLayoutDimension& anchor, CGFloat multiplier,
                                                                    CGFloat constant) const {
        return make(NSLayoutRelation::lessThanOrEqual, anchor, multiplier, constant);
    }

  private:
    std::shared_ptr<NSLayoutConstraint> single(NSLayoutRelation relation, CGFloat constant) const {
        return NSLayoutConstraint::create(item_, attribute_, relation, nullptr, NSLayoutAttribute::notAnAttribute, 1,
                                          constant);
    }
};

}  // namespace uikit
