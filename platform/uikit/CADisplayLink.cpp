#include "uikit/CADisplayLink.h"

#include <algorithm>

namespace quartzcore {

std::shared_ptr<CADisplayLink> CADisplayLink::create(Handler handler) {
    return std::shared_ptr<CADisplayLink>(new CADisplayLink(std::move(handler)));
}

CADisplayLink::~CADisplayLink() {
    if (runLoop_ && timer_ != 0) runLoop_->cancel(timer_);
}

double CADisplayLink::duration() const {
    return 1.0 / static_cast<double>(fps());
}

void CADisplayLink::setPreferredFramesPerSecond(int fps) {
    preferredFramesPerSecond_ = std::clamp(fps, 0, 60);
    if (timer_ != 0) scheduleNext();
}

dispatch::Nanoseconds CADisplayLink::frameTime(std::int64_t frame) const {
    // Exact boundaries (no accumulated rounding): frame × 1e9 / fps nanoseconds.
    return dispatch::Nanoseconds(frame * 1'000'000'000 / fps());
}

void CADisplayLink::add(dispatch::RunLoop& to, const std::string& forMode) {
    (void)forMode;
    if (!valid_ || runLoop_) return;
    runLoop_ = &to;
    selfWhileAdded_ = shared_from_this();
    if (!paused_) scheduleNext();
}

void CADisplayLink::setIsPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    if (!runLoop_ || !valid_) return;
    if (paused) {
        if (timer_ != 0) runLoop_->cancel(timer_);
        timer_ = 0;
    } else {
        scheduleNext();
    }
}

void CADisplayLink::invalidate() {
    if (!valid_) return;
    valid_ = false;
    if (runLoop_ && timer_ != 0) runLoop_->cancel(timer_);
    timer_ = 0;
    handler_ = nullptr;
    auto release = std::move(selfWhileAdded_);  // may destroy this link when the block returns
}

void CADisplayLink::scheduleNext() {
    if (timer_ != 0) runLoop_->cancel(timer_);
    timer_ = 0;
    auto now = dispatch::Clock::current()->now().count();
    // The first frame boundary strictly after now.
    std::int64_t frame = now * fps() / 1'000'000'000 + 1;
    while (frameTime(frame).count() <= now) ++frame;
    std::weak_ptr<CADisplayLink> weak = weak_from_this();
    timer_ = runLoop_->schedule(frameTime(frame), [weak, frame] {
        if (auto link = weak.lock()) link->fire(frame);
    });
}

void CADisplayLink::fire(std::int64_t frame) {
    timer_ = 0;
    if (!valid_ || paused_) return;
    auto keepAlive = shared_from_this();
    timestamp_ = dispatch::secondsFromNanoseconds(frameTime(frame));
    targetTimestamp_ = dispatch::secondsFromNanoseconds(frameTime(frame + 1));
    if (handler_) {
        auto handler = handler_;  // the handler may invalidate the link
        handler(*this);
    }
    if (valid_ && !paused_ && timer_ == 0) scheduleNext();
}

}  // namespace quartzcore
