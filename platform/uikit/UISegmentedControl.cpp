#include "uikit/UISegmentedControl.h"

#include <algorithm>

#include "uikit/NSStringDrawing.h"

namespace uikit {

UISegmentedControl::UISegmentedControl(const CGRect& frame) : UIControl(frame) {
    setIsOpaque(false);
}

std::shared_ptr<UISegmentedControl> UISegmentedControl::create(const std::vector<std::string>& items) {
    auto control = std::shared_ptr<UISegmentedControl>(new UISegmentedControl(CGRect()));
    for (const auto& item : items) control->titles_.emplace_back(item);
    return control;
}

std::shared_ptr<UISegmentedControl> UISegmentedControl::create(const CGRect& frame) {
    return std::shared_ptr<UISegmentedControl>(new UISegmentedControl(frame));
}

void UISegmentedControl::insertSegment(const std::string& withTitle, int at, bool animated) {
    (void)animated;
    int index = std::clamp(at, 0, numberOfSegments());
    titles_.insert(titles_.begin() + index, withTitle);
    if (selectedSegmentIndex_ >= index) selectedSegmentIndex_++;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void UISegmentedControl::removeSegment(int at, bool animated) {
    (void)animated;
    if (at < 0 || at >= numberOfSegments()) return;
    titles_.erase(titles_.begin() + at);
    if (selectedSegmentIndex_ == at) {
        selectedSegmentIndex_ = noSegment;
    } else if (selectedSegmentIndex_ > at) {
        selectedSegmentIndex_--;
    }
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void UISegmentedControl::removeAllSegments() {
    titles_.clear();
    selectedSegmentIndex_ = noSegment;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void UISegmentedControl::setTitleForSegmentAt(std::optional<std::string> title, int segment) {
    if (segment < 0 || segment >= numberOfSegments()) return;
    titles_[static_cast<std::size_t>(segment)] = std::move(title);
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

std::optional<std::string> UISegmentedControl::titleForSegment(int at) const {
    if (at < 0 || at >= numberOfSegments()) return std::nullopt;
    return titles_[static_cast<std::size_t>(at)];
}

void UISegmentedControl::setSelectedSegmentIndex(int index) {
    selectedSegmentIndex_ = index >= 0 && index < numberOfSegments() ? index : noSegment;
    setNeedsDisplay();
}

void UISegmentedControl::setTitleTextAttributesFor(std::optional<NSAttributes> attributes, State state) {
    if (attributes) {
        attributes_[state] = std::move(*attributes);
    } else {
        attributes_.erase(state);
    }
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

std::optional<NSAttributes> UISegmentedControl::titleTextAttributes(State state) const {
    auto it = attributes_.find(state);
    if (it == attributes_.end()) return std::nullopt;
    return it->second;
}

NSAttributes UISegmentedControl::effectiveTitleTextAttributes(int segment) const {
    NSAttributes result{{NSAttributedStringKey::font, UIFont::systemFont(13)},
                        {NSAttributedStringKey::foregroundColor, UIColor::label()}};
    if (auto it = attributes_.find(State::normal()); it != attributes_.end()) {
        for (const auto& [key, value] : it->second) result.insert_or_assign(key, value);
    }
    State state = State::normal();
    if (segment == selectedSegmentIndex_) state = State::selected();
    if (segment == highlightedSegment_) state = state | State::highlighted();
    if (!isEnabled()) state = State::disabled();
    if (state != State::normal()) {
        auto it = attributes_.find(state);
        if (it == attributes_.end() && state.contains(State::selected())) it = attributes_.find(State::selected());
        if (it != attributes_.end()) {
            for (const auto& [key, value] : it->second) result.insert_or_assign(key, value);
        }
    }
    return result;
}

CGRect UISegmentedControl::rectForSegment(int segment) const {
    CGRect b = bounds();
    int n = numberOfSegments();
    if (n == 0 || segment < 0 || segment >= n) return CGRect();
    CGFloat width = b.size.width / n;
    return CGRect(b.origin.x + width * segment, b.origin.y, width, b.size.height);
}

int UISegmentedControl::segmentAt(CGPoint point) const {
    for (int i = 0; i < numberOfSegments(); ++i) {
        if (rectForSegment(i).contains(point)) return i;
    }
    return noSegment;
}

CGSize UISegmentedControl::intrinsicContentSize() const {
    CGFloat widest = 0;
    for (int i = 0; i < numberOfSegments(); ++i) {
        auto title = titleForSegment(i);
        if (!title) continue;
        widest = std::max(widest, NSString(*title).size(effectiveTitleTextAttributes(i)).width);
    }
    return CGSize{numberOfSegments() * (widest + 16), 32};
}

void UISegmentedControl::draw(const CGRect& rect) {
    (void)rect;
    for (int i = 0; i < numberOfSegments(); ++i) {
        auto title = titleForSegment(i);
        if (!title) continue;
        auto attributes = effectiveTitleTextAttributes(i);
        CGRect segment = rectForSegment(i);
        CGSize size = NSString(*title).size(attributes);
        CGPoint at{segment.midX() - size.width / 2, segment.midY() - size.height / 2};
        NSString(*title).draw(at, attributes);
    }
}

void UISegmentedControl::touchesBegan(const UITouchSet& touches, const UIEvent* event) {
    if (!touches.empty() && isEnabled()) highlightedSegment_ = segmentAt(touches.front()->location(sharedView()));
    UIControl::touchesBegan(touches, event);
    setNeedsDisplay();
}

void UISegmentedControl::touchesMoved(const UITouchSet& touches, const UIEvent* event) {
    if (!touches.empty() && isTracking()) highlightedSegment_ = segmentAt(touches.front()->location(sharedView()));
    UIControl::touchesMoved(touches, event);
    setNeedsDisplay();
}

void UISegmentedControl::touchesEnded(const UITouchSet& touches, const UIEvent* event) {
    auto keepAlive = sharedView();
    highlightedSegment_ = noSegment;
    if (!touches.empty() && isEnabled()) {
        int segment = segmentAt(touches.front()->location(sharedView()));
        if (segment != noSegment && (segment != selectedSegmentIndex_ || isMomentary_)) {
            selectedSegmentIndex_ = isMomentary_ ? noSegment : segment;
            sendActions(Event::valueChanged(), event);
        }
    }
    UIControl::touchesEnded(touches, event);
    setNeedsDisplay();
}

void UISegmentedControl::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    highlightedSegment_ = noSegment;
    UIControl::touchesCancelled(touches, event);
    setNeedsDisplay();
}

std::string UISegmentedControl::snapshotAttributes() const {
    std::string text = "segments=[";
    for (int i = 0; i < numberOfSegments(); ++i) {
        if (i > 0) text += ", ";
        auto title = titleForSegment(i);
        text += "\"" + (title ? *title : std::string()) + "\"";
    }
    text += "] selected=" + std::to_string(selectedSegmentIndex_);
    return text;
}

}  // namespace uikit
