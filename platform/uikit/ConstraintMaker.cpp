#include "uikit/ConstraintMaker.h"

#include <cmath>
#include <cstdio>

#include "uikit/NSLayoutConstraint.h"
#include "uikit/UILayoutGuide.h"
#include "uikit/UIView.h"

namespace uikit {

namespace ca = constraint_attributes;

namespace {

struct AttributeBit {
    unsigned bit;
    NSLayoutAttribute attribute;
};

constexpr AttributeBit kOrder[] = {
    {ca::left, NSLayoutAttribute::left},       {ca::top, NSLayoutAttribute::top},
    {ca::right, NSLayoutAttribute::right},     {ca::bottom, NSLayoutAttribute::bottom},
    {ca::leading, NSLayoutAttribute::leading}, {ca::trailing, NSLayoutAttribute::trailing},
    {ca::width, NSLayoutAttribute::width},     {ca::height, NSLayoutAttribute::height},
    {ca::centerX, NSLayoutAttribute::centerX}, {ca::centerY, NSLayoutAttribute::centerY},
};

bool isSingleBit(unsigned v) {
    return v != 0 && (v & (v - 1)) == 0;
}

NSLayoutAttribute attributeOf(unsigned bit) {
    for (const auto& entry : kOrder) {
        if (entry.bit == bit) return entry.attribute;
    }
    return NSLayoutAttribute::notAnAttribute;
}

bool isXPosition(NSLayoutAttribute a) {
    return a == NSLayoutAttribute::left || a == NSLayoutAttribute::right || a == NSLayoutAttribute::leading ||
           a == NSLayoutAttribute::trailing || a == NSLayoutAttribute::centerX;
}

bool isDimension(NSLayoutAttribute a) {
    return a == NSLayoutAttribute::width || a == NSLayoutAttribute::height;
}

std::shared_ptr<LayoutItem> superviewOf(LayoutItem& item) {
    if (UIView* view = item.asView()) return view->superview();
    if (UILayoutGuide* guide = item.asLayoutGuide()) return guide->owningView();
    return nullptr;
}

CGFloat insetFor(NSLayoutAttribute a, const UIEdgeInsets& i) {
    switch (a) {
        case NSLayoutAttribute::left:
        case NSLayoutAttribute::leading:
            return i.left;
        case NSLayoutAttribute::top:
            return i.top;
        case NSLayoutAttribute::right:
        case NSLayoutAttribute::trailing:
            return -i.right;
        case NSLayoutAttribute::bottom:
            return -i.bottom;
        case NSLayoutAttribute::width:
            return -(i.left + i.right);
        case NSLayoutAttribute::height:
            return -(i.top + i.bottom);
        case NSLayoutAttribute::centerX:
            return (i.left - i.right) / 2;
        case NSLayoutAttribute::centerY:
            return (i.top - i.bottom) / 2;
        case NSLayoutAttribute::notAnAttribute:
            break;
    }
    return 0;
}

bool sameRelation(const NSLayoutConstraint& a, const NSLayoutConstraint& b) {
    return a.firstItem() == b.firstItem() && a.firstAttribute() == b.firstAttribute() && a.relation() == b.relation() &&
           a.secondItem() == b.secondItem() && a.secondAttribute() == b.secondAttribute() &&
           std::fabs(a.multiplier() - b.multiplier()) < 1e-9;
}

}  // namespace

// ---- Editable ---------------------------------------------------------------------------------------

ConstraintMakerEditable ConstraintMakerEditable::offset(CGFloat amount) {
    d_->offset += amount;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::offset(CGPoint amount) {
    d_->offsetPoint.x += amount.x;
    d_->offsetPoint.y += amount.y;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::offset(CGSize amount) {
    d_->offsetSize.width += amount.width;
    d_->offsetSize.height += amount.height;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::inset(CGFloat amount) {
    return inset(UIEdgeInsets{amount, amount, amount, amount});
}

ConstraintMakerEditable ConstraintMakerEditable::inset(const UIEdgeInsets& amount) {
    d_->insets.top += amount.top;
    d_->insets.left += amount.left;
    d_->insets.bottom += amount.bottom;
    d_->insets.right += amount.right;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::multipliedBy(CGFloat amount) {
    if (std::isfinite(amount)) d_->multiplier = amount;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::dividedBy(CGFloat amount) {
    if (std::isfinite(amount) && amount != 0) d_->multiplier = 1 / amount;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::priority(ConstraintPriority amount) {
    d_->priority = amount.value;
    return *this;
}

ConstraintMakerEditable ConstraintMakerEditable::labeled(std::string label) {
    d_->label = std::move(label);
    return *this;
}

// ---- Relatable --------------------------------------------------------------------------------------

ConstraintMakerEditable ConstraintMakerRelatable::relate(
    NSLayoutRelation relation,
    std::variant<std::monostate, ConstraintItem, detail::SuperviewTarget, CGFloat, CGSize, CGPoint> target) {
    d_->relation = relation;
    d_->hasRelation = true;
    d_->target = std::move(target);
    return ConstraintMakerEditable(d_);
}

ConstraintMakerEditable ConstraintMakerRelatable::equalTo(const ConstraintItem& other) {
    return relate(NSLayoutRelation::equal, other);
}
ConstraintMakerEditable ConstraintMakerRelatable::equalTo(const std::shared_ptr<LayoutItem>& other) {
    return relate(NSLayoutRelation::equal, ConstraintItem(other, 0));
}
ConstraintMakerEditable ConstraintMakerRelatable::equalTo(CGFloat constant) {
    return relate(NSLayoutRelation::equal, constant);
}
ConstraintMakerEditable ConstraintMakerRelatable::equalTo(CGSize size) {
    return relate(NSLayoutRelation::equal, size);
}
ConstraintMakerEditable ConstraintMakerRelatable::equalTo(CGPoint point) {
    return relate(NSLayoutRelation::equal, point);
}
ConstraintMakerEditable ConstraintMakerRelatable::equalToSuperview() {
    return relate(NSLayoutRelation::equal, detail::SuperviewTarget{});
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualTo(const ConstraintItem& other) {
    return relate(NSLayoutRelation::greaterThanOrEqual, other);
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualTo(const std::shared_ptr<LayoutItem>& other) {
    return relate(NSLayoutRelation::greaterThanOrEqual, ConstraintItem(other, 0));
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualTo(CGFloat constant) {
    return relate(NSLayoutRelation::greaterThanOrEqual, constant);
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualTo(CGSize size) {
    return relate(NSLayoutRelation::greaterThanOrEqual, size);
}
ConstraintMakerEditable ConstraintMakerRelatable::greaterThanOrEqualToSuperview() {
    return relate(NSLayoutRelation::greaterThanOrEqual, detail::SuperviewTarget{});
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualTo(const ConstraintItem& other) {
    return relate(NSLayoutRelation::lessThanOrEqual, other);
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualTo(const std::shared_ptr<LayoutItem>& other) {
    return relate(NSLayoutRelation::lessThanOrEqual, ConstraintItem(other, 0));
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualTo(CGFloat constant) {
    return relate(NSLayoutRelation::lessThanOrEqual, constant);
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualTo(CGSize size) {
    return relate(NSLayoutRelation::lessThanOrEqual, size);
}
ConstraintMakerEditable ConstraintMakerRelatable::lessThanOrEqualToSuperview() {
    return relate(NSLayoutRelation::lessThanOrEqual, detail::SuperviewTarget{});
}

// ---- Extendable -------------------------------------------------------------------------------------

ConstraintMakerExtendable ConstraintMakerExtendable::add(unsigned attributes) {
    d_->attributes |= attributes;
    return *this;
}

ConstraintMakerExtendable ConstraintMakerExtendable::left() {
    return add(ca::left);
}
ConstraintMakerExtendable ConstraintMakerExtendable::top() {
    return add(ca::top);
}
ConstraintMakerExtendable ConstraintMakerExtendable::right() {
    return add(ca::right);
}
ConstraintMakerExtendable ConstraintMakerExtendable::bottom() {
    return add(ca::bottom);
}
ConstraintMakerExtendable ConstraintMakerExtendable::leading() {
    return add(ca::leading);
}
ConstraintMakerExtendable ConstraintMakerExtendable::trailing() {
    return add(ca::trailing);
}
ConstraintMakerExtendable ConstraintMakerExtendable::width() {
    return add(ca::width);
}
ConstraintMakerExtendable ConstraintMakerExtendable::height() {
    return add(ca::height);
}
ConstraintMakerExtendable ConstraintMakerExtendable::centerX() {
    return add(ca::centerX);
}
ConstraintMakerExtendable ConstraintMakerExtendable::centerY() {
    return add(ca::centerY);
}
ConstraintMakerExtendable ConstraintMakerExtendable::edges() {
    return add(ca::edges);
}
ConstraintMakerExtendable ConstraintMakerExtendable::size() {
    return add(ca::size);
}
ConstraintMakerExtendable ConstraintMakerExtendable::center() {
    return add(ca::center);
}

// ---- Maker ------------------------------------------------------------------------------------------

ConstraintMakerExtendable ConstraintMaker::start(unsigned attributes) {
    descriptions_.push_back(std::make_unique<detail::ConstraintDescription>());
    descriptions_.back()->attributes = attributes;
    return ConstraintMakerExtendable(descriptions_.back().get());
}

std::vector<std::shared_ptr<NSLayoutConstraint>> ConstraintMaker::build() const {
    std::vector<std::shared_ptr<NSLayoutConstraint>> made;
    auto self = item_.layoutItemPointer();
    if (!self) {
        std::fprintf(stderr, "[uikit] Cannot make constraints for %s while it is being constructed\n",
                     item_.layoutItemDescription().c_str());
        return made;
    }
    for (const auto& d : descriptions_) {
        if (!d->hasRelation) {
            std::fprintf(stderr, "[uikit] A constraint description of %s has no relation (equalTo...); ignored\n",
                         item_.layoutItemDescription().c_str());
            continue;
        }
        for (const auto& entry : kOrder) {
            if (!(d->attributes & entry.bit)) continue;
            const NSLayoutAttribute a1 = entry.attribute;
            std::shared_ptr<LayoutItem> second;
            NSLayoutAttribute a2 = NSLayoutAttribute::notAnAttribute;
            CGFloat constant = 0;
            bool valid = true;
            const char* problem = "";

            if (auto* item = std::get_if<ConstraintItem>(&d->target)) {
                second = item->item();
                unsigned attrs = item->attributes();
                if (attrs == 0 || (attrs & entry.bit)) {
                    a2 = a1;
                } else if (isSingleBit(attrs)) {
                    a2 = attributeOf(attrs);
                } else {
                    valid = false;
                    problem = "the target's attributes do not match";
                }
                if (!second) {
                    valid = false;
                    problem = "the target item does not exist (yet)";
                }
            } else if (std::holds_alternative<detail::SuperviewTarget>(d->target)) {
                second = superviewOf(item_);
                a2 = a1;
                if (!second) {
                    valid = false;
                    problem = "it has no superview";
                }
            } else if (auto* number = std::get_if<CGFloat>(&d->target)) {
                constant = *number;
                if (!isDimension(a1)) {
                    second = superviewOf(item_);
                    a2 = a1;
                    if (!second) {
                        valid = false;
                        problem = "a position constant needs a superview";
                    }
                }
            } else if (auto* size = std::get_if<CGSize>(&d->target)) {
                if (a1 == NSLayoutAttribute::width) {
                    constant = size->width;
                } else if (a1 == NSLayoutAttribute::height) {
                    constant = size->height;
                } else {
                    valid = false;
                    problem = "a size applies to width and height only";
                }
            } else if (auto* point = std::get_if<CGPoint>(&d->target)) {
                if (isDimension(a1)) {
                    valid = false;
                    problem = "a point applies to positions only";
                } else {
                    constant = isXPosition(a1) ? point->x : point->y;
                    second = superviewOf(item_);
                    a2 = a1;
                    if (!second) {
                        valid = false;
                        problem = "a position constant needs a superview";
                    }
                }
            }
            if (!valid) {
                std::fprintf(stderr, "[uikit] Cannot make %s.%s: %s; ignored\n", item_.layoutItemDescription().c_str(),
                             toString(a1), problem);
                continue;
            }

            constant += d->offset;
            if (isXPosition(a1)) constant += d->offsetPoint.x;
            if (!isXPosition(a1) && !isDimension(a1)) constant += d->offsetPoint.y;
            if (a1 == NSLayoutAttribute::width) constant += d->offsetSize.width;
            if (a1 == NSLayoutAttribute::height) constant += d->offsetSize.height;
            constant += insetFor(a1, d->insets);

            auto c =
                NSLayoutConstraint::create(self, a1, d->relation, second, a2, second ? d->multiplier : 1, constant);
            c->setPriority(d->priority);
            if (!d->label.empty()) c->setIdentifier(d->label);
            made.push_back(std::move(c));
        }
    }
    return made;
}

// ---- DSL --------------------------------------------------------------------------------------------

std::vector<std::shared_ptr<NSLayoutConstraint>> ConstraintViewDSL::prepare(const Closure& closure) {
    ConstraintMaker maker(item_);
    if (closure) closure(maker);
    if (UIView* view = item_.asView()) view->setTranslatesAutoresizingMaskIntoConstraints(false);
    return maker.build();
}

void ConstraintViewDSL::makeConstraints(const Closure& closure) {
    auto made = prepare(closure);
    std::erase_if(item_.madeConstraints_, [](const auto& c) { return !c->isActive(); });
    for (auto& c : made) {
        item_.madeConstraints_.push_back(c);
        c->setIsActive(true);
    }
}

void ConstraintViewDSL::remakeConstraints(const Closure& closure) {
    removeConstraints();
    makeConstraints(closure);
}

void ConstraintViewDSL::updateConstraints(const Closure& closure) {
    auto made = prepare(closure);
    for (auto& c : made) {
        std::shared_ptr<NSLayoutConstraint> existing;
        for (const auto& candidate : item_.madeConstraints_) {
            if (candidate->isActive() && sameRelation(*candidate, *c)) {
                existing = candidate;
                break;
            }
        }
        if (existing) {
            existing->setConstant(c->constant());
            existing->setPriority(c->priority());
        } else {
            std::fprintf(stderr, "[uikit] updateConstraints found no constraint like %s to update; adding it\n",
                         c->description().c_str());
            item_.madeConstraints_.push_back(c);
            c->setIsActive(true);
        }
    }
}

void ConstraintViewDSL::removeConstraints() {
    auto made = std::move(item_.madeConstraints_);
    item_.madeConstraints_.clear();
    for (auto& c : made) c->setIsActive(false);
}

std::vector<std::shared_ptr<NSLayoutConstraint>> ConstraintViewDSL::constraints() const {
    std::vector<std::shared_ptr<NSLayoutConstraint>> active;
    for (const auto& c : item_.madeConstraints_) {
        if (c->isActive()) active.push_back(c);
    }
    return active;
}

}  // namespace uikit
