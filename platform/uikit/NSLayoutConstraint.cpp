#include "uikit/NSLayoutConstraint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "uikit/ConstraintMaker.h"
#include "uikit/UILayoutGuide.h"
#include "uikit/UIView.h"
#include "uikit/layout/LayoutEngine.h"

namespace uikit {

const char* toString(NSLayoutAttribute attribute) {
    switch (attribute) {
        case NSLayoutAttribute::left:
            return "left";
        case NSLayoutAttribute::right:
            return "right";
        case NSLayoutAttribute::top:
            return "top";
        case NSLayoutAttribute::bottom:
            return "bottom";
        case NSLayoutAttribute::leading:
            return "leading";
        case NSLayoutAttribute::trailing:
            return "trailing";
        case NSLayoutAttribute::width:
            return "width";
        case NSLayoutAttribute::height:
            return "height";
        case NSLayoutAttribute::centerX:
            return "centerX";
        case NSLayoutAttribute::centerY:
            return "centerY";
        case NSLayoutAttribute::notAnAttribute:
            break;
    }
    return "notAnAttribute";
}

const char* toString(NSLayoutRelation relation) {
    switch (relation) {
        case NSLayoutRelation::lessThanOrEqual:
            return "<=";
        case NSLayoutRelation::greaterThanOrEqual:
            return ">=";
        case NSLayoutRelation::equal:
            break;
    }
    return "==";
}

// ---- LayoutItem -----------------------------------------------------------------------------------

LayoutItem::~LayoutItem() = default;

NSLayoutXAxisAnchor LayoutItem::leadingAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::leading};
}
NSLayoutXAxisAnchor LayoutItem::trailingAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::trailing};
}
NSLayoutXAxisAnchor LayoutItem::leftAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::left};
}
NSLayoutXAxisAnchor LayoutItem::rightAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::right};
}
NSLayoutXAxisAnchor LayoutItem::centerXAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::centerX};
}
NSLayoutYAxisAnchor LayoutItem::topAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::top};
}
NSLayoutYAxisAnchor LayoutItem::bottomAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::bottom};
}
NSLayoutYAxisAnchor LayoutItem::centerYAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::centerY};
}
NSLayoutDimension LayoutItem::widthAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::width};
}
NSLayoutDimension LayoutItem::heightAnchor() {
    return {layoutItemPointer(), NSLayoutAttribute::height};
}

ConstraintViewDSL LayoutItem::snp() {
    return ConstraintViewDSL(*this);
}

// ---- NSLayoutConstraint ---------------------------------------------------------------------------

namespace {

LayoutItem* commonAncestor(LayoutItem* a, LayoutItem* b) {
    if (!b) return a;
    for (LayoutItem* p = a; p; p = p->layoutParent()) {
        for (LayoutItem* q = b; q; q = q->layoutParent()) {
            if (p == q) return p;
        }
    }
    return nullptr;
}

UIView* viewToInstallOn(LayoutItem* ancestor) {
    if (!ancestor) return nullptr;
    if (UIView* v = ancestor->asView()) return v;
    return ancestor->layoutParent() ? ancestor->layoutParent()->asView() : nullptr;
}

std::string number(CGFloat v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

}  // namespace

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::create(const std::shared_ptr<LayoutItem>& item,
                                                               Attribute attribute, Relation relatedBy,
                                                               const std::shared_ptr<LayoutItem>& toItem,
                                                               Attribute toAttribute, CGFloat multiplier,
                                                               CGFloat constant) {
    auto c = std::shared_ptr<NSLayoutConstraint>(new NSLayoutConstraint());
    c->first_ = item;
    c->firstRaw_ = item.get();
    c->second_ = toItem;
    c->secondRaw_ = toItem.get();
    c->firstAttribute_ = attribute;
    c->secondAttribute_ = toItem ? toAttribute : Attribute::notAnAttribute;
    c->relation_ = relatedBy;
    c->multiplier_ = std::isfinite(multiplier) ? multiplier : 1;
    c->constant_ = std::isfinite(constant) ? constant : 0;
    return c;
}

NSLayoutConstraint::~NSLayoutConstraint() {
    if (isActive_) layout::LayoutEngine::shared().deactivate(*this);
}

void NSLayoutConstraint::activate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (const auto& c : constraints) {
        if (c) c->setIsActive(true);
    }
}

void NSLayoutConstraint::deactivate(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
    for (const auto& c : constraints) {
        if (c) c->setIsActive(false);
    }
}

void NSLayoutConstraint::setConstant(CGFloat constant) {
    if (!std::isfinite(constant) || constant == constant_) return;
    constant_ = constant;
    if (isActive_) {
        layout::LayoutEngine::shared().constantChanged(*this);
        if (installedOn_) installedOn_->setNeedsLayout();
    }
}

void NSLayoutConstraint::setPriority(UILayoutPriority priority) {
    float p = priority.rawValue;
    if (!(p >= 1)) p = 1;
    if (p > 1000) p = 1000;
    if (p == priority_.rawValue) return;
    priority_ = p;
    if (isActive_) {
        layout::LayoutEngine::shared().priorityChanged(*this);
        if (installedOn_) installedOn_->setNeedsLayout();
    }
}

void NSLayoutConstraint::setIsActive(bool active) {
    if (active == isActive_) return;
    if (active) {
        auto first = first_.lock();
        auto second = second_.lock();
        if (!first || (secondRaw_ && !second)) {
            std::fprintf(stderr, "[uikit] Cannot activate %s: one of its items no longer exists\n",
                         description().c_str());
            return;
        }
        UIView* host = viewToInstallOn(commonAncestor(first.get(), second.get()));
        if (!host) {
            std::fprintf(stderr, "[uikit] Cannot activate %s: its items have no common ancestor\n",
                         description().c_str());
            return;
        }
        isActive_ = true;
        installedOn_ = host;
        host->installedConstraints_.push_back(shared_from_this());
        layout::LayoutEngine::shared().activate(shared_from_this());
        host->setNeedsLayout();
    } else {
        auto keepAlive = weak_from_this().lock();
        isActive_ = false;
        layout::LayoutEngine::shared().deactivate(*this);
        if (UIView* host = installedOn_) {
            installedOn_ = nullptr;
            auto& list = host->installedConstraints_;
            list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& c) { return c.get() == this; }),
                       list.end());
            host->setNeedsLayout();
        }
    }
}

std::shared_ptr<UIView> NSLayoutConstraint::installedOn() const {
    return installedOn_ ? installedOn_->sharedView() : nullptr;
}

std::string NSLayoutConstraint::description() const {
    auto name = [](const std::weak_ptr<LayoutItem>& weak, LayoutItem* raw) -> std::string {
        if (auto item = weak.lock()) return item->layoutItemDescription();
        return raw ? "(gone)" : "nil";
    };
    std::ostringstream os;
    os << name(first_, firstRaw_) << "." << toString(firstAttribute_) << " " << toString(relation_) << " ";
    bool hasSecond = secondRaw_ != nullptr;
    if (hasSecond) {
        os << name(second_, secondRaw_) << "." << toString(secondAttribute_);
        if (multiplier_ != 1) os << " * " << number(multiplier_);
        if (constant_ > 0) os << " + " << number(constant_);
        if (constant_ < 0) os << " - " << number(-constant_);
    } else {
        os << number(constant_);
    }
    if (priority_.rawValue < 1000) os << " @" << number(priority_.rawValue);
    if (!identifier_.empty()) os << " '" << identifier_ << "'";
    return os.str();
}

// ---- UILayoutGuide --------------------------------------------------------------------------------

std::shared_ptr<UILayoutGuide> UILayoutGuide::create() {
    return std::shared_ptr<UILayoutGuide>(new UILayoutGuide());
}

UILayoutGuide::~UILayoutGuide() {
    layout::LayoutEngine::shared().itemDestroyed(*this);
}

std::shared_ptr<UIView> UILayoutGuide::owningView() const {
    return owner_ ? owner_->sharedView() : nullptr;
}

LayoutItem* UILayoutGuide::layoutParent() const {
    return owner_;
}

CGRect UILayoutGuide::layoutFrame() const {
    if (!owner_) return CGRect();
    switch (kind_) {
        case Kind::layoutMargins:
            return owner_->bounds().inset(owner_->layoutMargins());
        case Kind::safeArea:
            return owner_->bounds().inset(owner_->safeAreaInsets());
        case Kind::user:
            break;
    }
    return solvedFrame_;
}

std::string UILayoutGuide::layoutItemDescription() const {
    char buffer[64];
    const char* kind = kind_ == Kind::layoutMargins ? "UILayoutGuide(margins of "
                       : kind_ == Kind::safeArea    ? "UILayoutGuide(safe area of "
                                                    : "UILayoutGuide(";
    std::string text = kind;
    if (kind_ != Kind::user) {
        text += owner_ ? owner_->layoutItemDescription() : std::string("nil");
        text += ")";
    } else {
        std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(this));
        text += buffer;
        if (!identifier_.empty()) text += " '" + identifier_ + "'";
        text += ")";
    }
    return text;
}

}  // namespace uikit
