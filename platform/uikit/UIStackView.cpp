#include "uikit/UIStackView.h"

#include <algorithm>
#include <cmath>

namespace uikit {

UIStackView::UIStackView(const CGRect& frame) : UIView(frame) {}

UIStackView::~UIStackView() = default;

std::shared_ptr<UIStackView> UIStackView::create(const CGRect& frame) {
    return std::shared_ptr<UIStackView>(new UIStackView(frame));
}

std::shared_ptr<UIStackView> UIStackView::create(const std::vector<std::shared_ptr<UIView>>& arrangedSubviews) {
    auto stack = create();
    for (const auto& view : arrangedSubviews) stack->addArrangedSubview(view);
    return stack;
}

void UIStackView::addArrangedSubview(const std::shared_ptr<UIView>& view) {
    insertArrangedSubviewAt(view, arranged_.size());
}

void UIStackView::insertArrangedSubviewAt(const std::shared_ptr<UIView>& view, std::size_t index) {
    if (!view || view.get() == this) return;
    auto existing = std::find(arranged_.begin(), arranged_.end(), view);
    if (existing != arranged_.end()) arranged_.erase(existing);
    index = std::min(index, arranged_.size());
    arranged_.insert(arranged_.begin() + static_cast<long>(index), view);
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    if (view->superview_ != this) addSubview(view);
    if (view->superview_ != this) {  // refused (for example a cycle)
        arranged_.erase(std::find(arranged_.begin(), arranged_.end(), view));
    }
    setNeedsRearrangement();
}

void UIStackView::removeArrangedSubview(const std::shared_ptr<UIView>& view) {
    auto it = std::find(arranged_.begin(), arranged_.end(), view);
    if (it == arranged_.end()) return;
    arranged_.erase(it);
    setNeedsRearrangement();
}

void UIStackView::willRemoveSubview(const std::shared_ptr<UIView>& subview) {
    UIView::willRemoveSubview(subview);
    removeArrangedSubview(subview);
}

void UIStackView::subviewDidChangeVisibility(UIView& subview) {
    if (std::any_of(arranged_.begin(), arranged_.end(), [&](const auto& v) { return v.get() == &subview; })) {
        setNeedsRearrangement();
    }
}

void UIStackView::setAxis(Axis axis) {
    if (axis == axis_) return;
    axis_ = axis;
    setNeedsRearrangement();
}

void UIStackView::setSpacing(CGFloat spacing) {
    if (!std::isfinite(spacing) || spacing == spacing_) return;
    spacing_ = spacing;
    setNeedsRearrangement();
}

void UIStackView::setAlignment(Alignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    setNeedsRearrangement();
}

void UIStackView::setDistribution(Distribution distribution) {
    if (distribution == distribution_) return;
    distribution_ = distribution;
    setNeedsRearrangement();
}

void UIStackView::setIsLayoutMarginsRelativeArrangement(bool flag) {
    if (flag == marginsRelative_) return;
    marginsRelative_ = flag;
    setNeedsRearrangement();
}

void UIStackView::setNeedsRearrangement() {
    needsRearrangement_ = true;
    setNeedsUpdateConstraints();
    setNeedsLayout();
}

void UIStackView::updateConstraints() {
    if (needsRearrangement_) rebuild();
    UIView::updateConstraints();
}

void UIStackView::clearArrangement() {
    auto old = std::move(arrangement_);
    arrangement_.clear();
    for (auto& c : old) c->setIsActive(false);
    auto guides = std::move(spacers_);
    spacers_.clear();
    for (auto& g : guides) removeLayoutGuide(g);
}

void UIStackView::rebuild() {
    needsRearrangement_ = false;
    clearArrangement();
    std::vector<std::shared_ptr<UIView>> visible;
    for (const auto& v : arranged_) {
        if (!v->isHidden() && v->superview_ == this) visible.push_back(v);
    }
    if (visible.empty()) return;

    using A = NSLayoutAttribute;
    using R = NSLayoutRelation;
    const bool horizontal = axis_ == Axis::horizontal;
    const A lead = horizontal ? A::leading : A::top;
    const A trail = horizontal ? A::trailing : A::bottom;
    const A size = horizontal ? A::width : A::height;
    const A crossStart = horizontal ? A::top : A::leading;
    const A crossEnd = horizontal ? A::bottom : A::trailing;
    const A crossCenter = horizontal ? A::centerY : A::centerX;
    const A crossSize = horizontal ? A::height : A::width;
    std::shared_ptr<LayoutItem> self = sharedView();
    std::shared_ptr<LayoutItem> container = self;
    if (marginsRelative_) container = layoutMarginsGuide();

    auto add = [&](const std::shared_ptr<LayoutItem>& a, A aa, R relation, const std::shared_ptr<LayoutItem>& b, A ba,
                   CGFloat constant, UILayoutPriority priority, const char* name) {
        auto c = NSLayoutConstraint::create(a, aa, relation, b, ba, 1, constant);
        c->setPriority(priority);
        c->setIdentifier(name);
        arrangement_.push_back(std::move(c));
    };

    // Along the axis.
    add(visible.front(), lead, R::equal, container, lead, 0, 1000, "stack.edge");
    for (std::size_t i = 1; i < visible.size(); ++i) {
        if (distribution_ == Distribution::equalSpacing) {
            auto gap = UILayoutGuide::create();
            gap->setIdentifier("stack.gap");
            addLayoutGuide(gap);
            spacers_.push_back(gap);
            add(gap, lead, R::equal, visible[i - 1], trail, 0, 1000, "stack.gap");
            add(gap, trail, R::equal, visible[i], lead, 0, 1000, "stack.gap");
            add(gap, size, R::greaterThanOrEqual, nullptr, A::notAnAttribute, spacing_, 1000, "stack.spacing");
            if (spacers_.size() > 1) add(gap, size, R::equal, spacers_.front(), size, 0, 1000, "stack.equal-gaps");
        } else {
            add(visible[i], lead, R::equal, visible[i - 1], trail, spacing_, 1000, "stack.spacing");
        }
    }
    add(visible.back(), trail, R::equal, container, trail, 0, 1000, "stack.edge");
    if (distribution_ == Distribution::fillEqually) {
        for (std::size_t i = 1; i < visible.size(); ++i) {
            add(visible[i], size, R::equal, visible.front(), size, 0, 1000, "stack.fill-equally");
        }
    } else if (distribution_ != Distribution::equalSpacing) {
        // Among members with equal priorities, the last takes up the slack.
        for (std::size_t i = 0; i + 1 < visible.size(); ++i) {
            add(visible[i], size, R::lessThanOrEqual, nullptr, A::notAnAttribute, 0, 1, "stack.slack");
        }
    }

    // Across the axis.
    for (const auto& v : visible) {
        switch (alignment_) {
            case Alignment::fill:
                add(v, crossStart, R::equal, container, crossStart, 0, 1000, "stack.alignment");
                add(v, crossEnd, R::equal, container, crossEnd, 0, 1000, "stack.alignment");
                break;
            case Alignment::center:
                add(v, crossCenter, R::equal, container, crossCenter, 0, 1000, "stack.alignment");
                add(v, crossStart, R::greaterThanOrEqual, container, crossStart, 0, 1000, "stack.alignment");
                break;
            case Alignment::trailing:
                add(v, crossEnd, R::equal, container, crossEnd, 0, 1000, "stack.alignment");
                add(v, crossStart, R::greaterThanOrEqual, container, crossStart, 0, 1000, "stack.alignment");
                break;
            default:  // leading / top and the baselines
                add(v, crossStart, R::equal, container, crossStart, 0, 1000, "stack.alignment");
                add(v, crossEnd, R::lessThanOrEqual, container, crossEnd, 0, 1000, "stack.alignment");
                break;
        }
    }
    if (alignment_ != Alignment::fill) {
        // Wrap the largest member when nothing else sizes the stack across.
        add(self, crossSize, R::equal, nullptr, A::notAnAttribute, 0, 49, "stack.fit");
    }
    for (auto& c : arrangement_) c->setIsActive(true);
}

}  // namespace uikit
