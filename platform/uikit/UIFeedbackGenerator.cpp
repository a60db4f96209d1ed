#include "uikit/UIFeedbackGenerator.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "dispatch/Clock.h"

namespace uikit {

namespace {

struct Log {
    std::mutex mutex;  // guards events
    std::vector<UIImpactFeedbackGenerator::RecordedEvent> events;
};

Log& log() {
    static auto* instance = new Log();
    return *instance;
}

}  // namespace

std::shared_ptr<UIImpactFeedbackGenerator> UIImpactFeedbackGenerator::create(FeedbackStyle style) {
    return std::shared_ptr<UIImpactFeedbackGenerator>(new UIImpactFeedbackGenerator(style));
}

void UIImpactFeedbackGenerator::record(RecordedEvent::Kind kind, std::optional<CGFloat> intensity) {
    RecordedEvent event{kind, style_, intensity, dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now())};
    events_.push_back(event);
    auto& l = log();
    std::lock_guard lock(l.mutex);
    l.events.push_back(event);
}

void UIImpactFeedbackGenerator::prepare() {
    record(RecordedEvent::Kind::prepare, std::nullopt);
}

void UIImpactFeedbackGenerator::impactOccurred() {
    record(RecordedEvent::Kind::impactOccurred, std::nullopt);
}

void UIImpactFeedbackGenerator::impactOccurred(CGFloat intensity) {
    CGFloat clamped = std::isfinite(intensity) ? std::clamp(intensity, CGFloat(0), CGFloat(1)) : CGFloat(0);
    record(RecordedEvent::Kind::impactOccurred, clamped);
}

std::vector<UIImpactFeedbackGenerator::RecordedEvent> UIImpactFeedbackGenerator::recordedEvents() {
    auto& l = log();
    std::lock_guard lock(l.mutex);
    return l.events;
}

void UIImpactFeedbackGenerator::clearRecordedEvents() {
    auto& l = log();
    std::lock_guard lock(l.mutex);
    l.events.clear();
}

}  // namespace uikit
