#include "avfoundation/detail/Playhead.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "avfoundation/detail/SegmentLoader.h"

namespace avfoundation::detail {

namespace {

// Positions closer than this count as the same place (the clock has nanosecond steps).
constexpr double kEpsilon = 1e-6;

}  // namespace

double Playhead::positionAt(dispatch::Nanoseconds now) const {
    if (movingRate_ <= 0) return anchorSeconds_;
    const double elapsed = dispatch::secondsFromNanoseconds(now - anchorClock_);
    return std::min(anchorSeconds_ + movingRate_ * std::max(elapsed, 0.0), moveLimit_);
}

void Playhead::reanchor(dispatch::Nanoseconds now, SegmentLoader& media) {
    const double next = positionAt(now);
    if (movingRate_ > 0 && next > anchorSeconds_) {
        watched_ += next - anchorSeconds_;
        auto fault = media.takeFault(anchorSeconds_ - kEpsilon, next + kEpsilon);
        if (fault && !dueFault_) dueFault_ = std::move(fault);
    }
    anchorSeconds_ = next;
    anchorClock_ = now;
}

void Playhead::hold(dispatch::Nanoseconds now, SegmentLoader& media) {
    reanchor(now, media);
    movingRate_ = 0;
    moveLimit_ = anchorSeconds_;
}

void Playhead::jumpTo(double seconds, dispatch::Nanoseconds now) {
    anchorSeconds_ = seconds;
    anchorClock_ = now;
    movingRate_ = 0;
    moveLimit_ = seconds;
    endNotified_ = false;
    stalled_ = false;
}

std::optional<foundation::Error> Playhead::takeDueFault() {
    return std::exchange(dueFault_, std::nullopt);
}

void Playhead::setMovingRate(double rate, dispatch::Nanoseconds now, SegmentLoader& media) {
    reanchor(now, media);
    movingRate_ = rate > 0 ? rate : 0;
    if (movingRate_ <= 0) {
        moveLimit_ = anchorSeconds_;
        return;
    }
    moveLimit_ = media.timeline().contiguousLoadedEnd(anchorSeconds_);
    if (auto fault = media.nextFault(anchorSeconds_ + kEpsilon)) moveLimit_ = std::min(moveLimit_, *fault);
}

PlayheadStep Playhead::step(float rate, bool pauseAtItemEnd, bool ready, SegmentLoader& media,
                            dispatch::Nanoseconds now) {
    PlayheadStep step;
    if (rate == 0.0f) {
        step.status = PlayheadStep::Status::paused;
    } else if (!ready || !(rate > 0.0f)) {
        step.status = PlayheadStep::Status::waiting;
    } else {
        const double pos = anchorSeconds_;
        if (media.isAtEnd(pos, ready)) {
            if (!endNotified_) step.postEnd = true;
            endNotified_ = true;
            if (pauseAtItemEnd) {
                // Paused at the end: playing again from here ends again.
                step.pauseAtEnd = true;
                endNotified_ = false;
            } else {
                step.status = PlayheadStep::Status::waiting;
            }
        } else if (media.isBufferedAt(pos, ready)) {
            step.status = PlayheadStep::Status::playing;
            step.movingRate = rate;
            stalled_ = false;
            endNotified_ = false;  // a live item that moves again can catch up with its edge again
        } else {
            step.status = PlayheadStep::Status::waiting;
            if (media.isAtLiveEdge(pos) && rate > 1.0f) {
                if (!endNotified_) step.postEnd = true;
                endNotified_ = true;
            } else if (!stalled_) {
                stalled_ = true;
                step.postStall = true;
            }
        }
    }
    setMovingRate(step.movingRate, now, media);
    if (step.movingRate <= 0) return step;

    // Looks again where the playhead must stop, or earlier where loading must go on: when the next gap
    // comes within the forward buffer and no segment is on its way.
    const double pos = anchorSeconds_;
    double target = moveLimit_;
    if (!media.isFetchingSegment()) {
        if (auto gap = media.nextGapStart(pos)) {
            const double threshold = *gap - media.forwardBufferDuration();
            if (threshold > pos + kEpsilon) target = std::min(target, threshold);
        }
    }
    const double seconds = std::max(target - pos, 0.0) / step.movingRate;
    const auto wait = dispatch::Nanoseconds(static_cast<std::int64_t>(std::ceil(std::min(seconds, 1e9) * 1e9)));
    step.wakeAt = dispatch::saturatingAdd(now, std::max(wait, dispatch::Nanoseconds(1)));
    return step;
}

}  // namespace avfoundation::detail
