#include "controls/ZuLoadedRangesView.h"

#include <cmath>

namespace lumora {

using uikit::CGFloat;
using uikit::CGRect;

std::shared_ptr<ZuLoadedRangesView> ZuLoadedRangesView::create(const CGRect& frame) {
    return std::shared_ptr<ZuLoadedRangesView>(new ZuLoadedRangesView(frame));
}

// The bars follow a new span at the next layout pass.
void ZuLoadedRangesView::setMinimumValue(float value) {
    minimumValue_ = value;
    setNeedsLayout();
}

void ZuLoadedRangesView::setMaximumValue(float value) {
    maximumValue_ = value;
    setNeedsLayout();
}

void ZuLoadedRangesView::setRanges(std::vector<coremedia::CMTimeRange> ranges) {
    ranges_ = std::move(ranges);
    const auto existing = subviews();  // a copy: removing changes the list
    for (const auto& bar : existing) bar->removeFromSuperview();
    const auto colour = tintColor();
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        auto bar = uikit::UIView::create();
        bar->setBackgroundColor(colour);
        addSubview(bar);
    }
    setNeedsLayout();
}

void ZuLoadedRangesView::layoutSubviews() {
    UIView::layoutSubviews();
    const double span = static_cast<double>(maximumValue_) - static_cast<double>(minimumValue_);
    const CGRect b = bounds();
    const auto& bars = subviews();
    for (std::size_t i = 0; i < bars.size() && i < ranges_.size(); ++i) {
        const auto& range = ranges_[i];
        const double start = range.start.seconds();
        const double length = range.duration.seconds();
        const double s = span == 0 ? 0.0 : (start - minimumValue_) / span;
        const double d = span == 0 ? 0.0 : length / span;
        const CGRect frame(b.minX() + s * b.width(), b.minY(), d * b.width(), b.height());
        // An invalid or indefinite time (or an infinite span) makes no place for a bar, nor for the ones after it.
        if (!std::isfinite(frame.origin.x) || !std::isfinite(frame.size.width) || !std::isfinite(start) ||
            !std::isfinite(length)) {
            break;
        }
        bars[i]->setFrame(frame);
    }
}

void ZuLoadedRangesView::tintColorDidChange() {
    UIView::tintColorDidChange();
    const auto colour = tintColor();
    for (const auto& bar : subviews()) bar->setBackgroundColor(colour);
}

std::vector<coremedia::CMTimeRange> timeRanges(const std::vector<std::shared_ptr<CMTimeRangeWrapper>>& wrappers) {
    std::vector<coremedia::CMTimeRange> ranges;
    ranges.reserve(wrappers.size());
    for (const auto& wrapper : wrappers) {
        if (wrapper) ranges.push_back(wrapper->range());
    }
    return ranges;
}

}  // namespace lumora
