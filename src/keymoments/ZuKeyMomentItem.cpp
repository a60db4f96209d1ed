#include "keymoments/ZuKeyMomentItem.h"

#include "coregraphics/CGContext.h"
#include "uikit/UIBezierPath.h"
#include "uikit/UIFont.h"

namespace lumora {

ZuKeyMomentItem::ZuKeyMomentItem(const uikit::CGRect& frame)
    : uikit::UIButton(ButtonType::custom, uikit::CGRect(frame.origin, ZuStyleManager::KeyMoments::default_().itemSize)),
      textLabel_(makeTextLabel()),
      styles_(ZuStyleManager::KeyMoments::default_()) {}

std::shared_ptr<ZuKeyMomentItem> ZuKeyMomentItem::create(const uikit::CGRect& frame) {
    auto item = std::shared_ptr<ZuKeyMomentItem>(new ZuKeyMomentItem(frame));
    item->setIsOpaque(false);
    item->setLayoutMargins(item->styles_.edgeInsets);
    lumora::apply(*item, ZuStyleManager::keyMomentItemStyle());
    item->setInsetsLayoutMarginsFromSafeArea(false);
    item->addSubview(item->textLabel_);
    return item;
}

std::shared_ptr<uikit::UILabel> ZuKeyMomentItem::makeTextLabel() {
    auto label = uikit::UILabel::create();
    label->setNumberOfLines(0);
    label->setTextAlignment(uikit::NSTextAlignment::center);
    label->setTextColor(uikit::UIColor::black());
    label->setAdjustsFontSizeToFitWidth(true);
    label->setFont(uikit::UIFont::systemFont(16, uikit::UIFont::Weight::bold));
    return label;
}

void ZuKeyMomentItem::setIsSelected(bool selected) {
    uikit::UIButton::setIsSelected(selected);
    applyItemStyle();
    if (isSelected()) {
        // Added again to its own superlayer: on top of its neighbours' layers.
        if (auto superlayer = layer()->superlayer()) superlayer->addSublayer(layer());
    }
}

void ZuKeyMomentItem::applyItemStyle() {
    std::weak_ptr<ZuKeyMomentItem> weak = sharedAs<ZuKeyMomentItem>();
    uikit::UIView::animate(isHighlighted() ? 0.2 : 0.8, 0, 1.0, 1.0, AnimationOptions::beginFromCurrentState(), [weak] {
        if (auto item = weak.lock()) lumora::apply(*item, ZuStyleManager::keyMomentItemStyle());
    });
}

uikit::CGSize ZuKeyMomentItem::intrinsicContentSize() const {
    return styles_.itemSize;
}

ZuKeyMomentItem::Geometry ZuKeyMomentItem::geometry(const uikit::CGRect& rect, const uikit::UIEdgeInsets& margins,
                                                    const ZuStyleManager::KeyMoments& styles) {
    const uikit::CGRect m = rect.inset(margins);
    Geometry g;
    g.bubble = uikit::CGRect(m.minX(), m.minY(), m.width(), m.height() * styles.bubbleHeightFactor);
    g.label = uikit::CGRect(m.minX() + 3, m.minY() + 3, m.width() - 6, m.height() * styles.bubbleHeightFactor - 6);
    g.anchor = uikit::CGRect(m.midX() - styles.anchorSize.width / 2, m.maxY() - styles.anchorSize.height,
                             styles.anchorSize.width, styles.anchorSize.height);
    g.stem = uikit::CGRect(g.bubble.midX() - 1, g.bubble.maxY(), 2, g.anchor.minY() - g.bubble.maxY());
    return g;
}

void ZuKeyMomentItem::layoutSubviews() {
    uikit::UIButton::layoutSubviews();
    const uikit::CGRect b = bounds();
    const Geometry g = geometry(b, layoutMargins(), styles_);
    // The dot's centre is the point the strip places on the timeline. A marker without height has no
    // such point: its anchor stays.
    if (b.height() > 0) {
        const uikit::CGFloat dotCentre = b.inset(layoutMargins()).maxY() - styles_.anchorSize.height * 0.5;
        layer()->setAnchorPoint(uikit::CGPoint{0.5, (dotCentre - b.minY()) / b.height()});
    }
    textLabel_->setFrame(g.label);
}

void ZuKeyMomentItem::draw(const uikit::CGRect& rect) {
    auto context = coregraphics::currentContext();
    if (!context) return;
    const Geometry g = geometry(rect, layoutMargins(), styles_);
    // The marker's own backing store: clearing it must not clear what lies behind the marker when the
    // context is shared with the views below.
    context->beginTransparencyLayer(bounds());
    context->clear(bounds());
    context->setFillColor(tintColor().cgColor());

    context->beginTransparencyLayer();
    context->addPath(uikit::UIBezierPath::roundedRect(g.bubble, 3.0).cgPath());
    context->fillPath(coregraphics::CGPathFillRule::winding);
    context->endTransparencyLayer();

    const uikit::CGRect below = rect.divided(g.stem.minY() - rect.minY(), uikit::CGRectEdge::minYEdge).remainder;
    context->beginTransparencyLayer(below);
    auto dot = uikit::UIBezierPath::ovalIn(g.anchor);
    dot.append(uikit::UIBezierPath::rect(g.stem));
    context->addPath(dot.cgPath());
    context->fillPath(coregraphics::CGPathFillRule::winding);
    context->endTransparencyLayer();
    context->endTransparencyLayer();
}

void ZuKeyMomentItem::layoutMarginsDidChange() {
    uikit::UIButton::layoutMarginsDidChange();
    setNeedsDisplay();
}

void ZuKeyMomentItem::tintColorDidChange() {
    uikit::UIButton::tintColorDidChange();
    setNeedsDisplay();
}

bool ZuKeyMomentItem::point(uikit::CGPoint inside, const uikit::UIEvent* event) {
    (void)event;
    return geometry(bounds(), layoutMargins(), styles_).bubble.contains(inside);
}

}  // namespace lumora
