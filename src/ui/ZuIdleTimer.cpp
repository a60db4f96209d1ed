#include "ui/ZuIdleTimer.h"

#include <cmath>
#include <limits>

#include "foundation/NotificationCenter.h"
#include "rx/Foundation.h"
#include "rx/Schedulers.h"
#include "ui/TouchesForSubviews.h"
#include "ui/ZuApplication.h"

namespace lumora {

namespace {

double sanitisedInterval(double seconds) {
    return std::isnan(seconds) || seconds < 0 ? 0.0 : seconds;
}

// The countdown in whole milliseconds, truncated (1.2345 s counts 1234 ms); nothing when the milliseconds or
// their nanoseconds do not fit a 64-bit count.
std::optional<dispatch::Nanoseconds> countdownLength(double seconds) {
    const double milliseconds = std::trunc(seconds * 1000.0);
    constexpr double limit = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 1'000'000);
    if (!(milliseconds < limit)) return std::nullopt;
    return std::chrono::duration_cast<dispatch::Nanoseconds>(
        std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds)));
}

// What a touch on the observed view means: true a finger went down (hold the countdown), false it moved,
// lifted or was cancelled (restart); nothing for the other phases.
std::optional<bool> meaning(uikit::UITouch::Phase phase) {
    switch (phase) {
        case uikit::UITouch::Phase::began:
            return true;
        case uikit::UITouch::Phase::moved:
        case uikit::UITouch::Phase::ended:
        case uikit::UITouch::Phase::cancelled:
            return false;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::shared_ptr<ZuIdleTimerInterface> ZuIdleTimerFactory::idleTimer(double timeInterval) const {
    return ZuIdleTimer::create(timeInterval);
}

ZuIdleTimer::ZuIdleTimer(double timeInterval)
    : timeInterval_(sanitisedInterval(timeInterval)), countdownLength_(countdownLength(timeInterval_)) {}

std::shared_ptr<ZuIdleTimer> ZuIdleTimer::create(double timeInterval) {
    return std::shared_ptr<ZuIdleTimer>(new ZuIdleTimer(timeInterval));
}

ZuIdleTimer::~ZuIdleTimer() {
    cancelCountdown();
}

const rx::BehaviorRelay<ZuIdleTimerEvent>& ZuIdleTimer::publish() const {
    if (!publish_) {
        publish_.emplace(ZuIdleTimerEvent(1.0, false, std::const_pointer_cast<ZuIdleTimer>(shared_from_this())));
    }
    return *publish_;
}

rx::ControlEvent<ZuIdleTimerEvent> ZuIdleTimer::event() const {
    return rx::ControlEvent<ZuIdleTimerEvent>(publish().asObservable());
}

void ZuIdleTimer::setEventHandler(EventHandler handler) {
    eventHandler_ = std::move(handler);
    if (eventHandler_) {
        auto current = eventHandler_;  // the handler may replace itself
        current(currentEvent());
    }
}

void ZuIdleTimer::send(double timeInterval, bool forced) {
    ZuIdleTimerEvent event(timeInterval, forced, weak_from_this());
    publish().accept(event);
    if (eventHandler_) {
        auto handler = eventHandler_;
        handler(event);
    }
}

void ZuIdleTimer::cancelCountdown() {
    ++generation_;
    if (countdown_) std::exchange(countdown_, std::nullopt)->dispose();
}

void ZuIdleTimer::restart(bool forced) {
    cancelCountdown();
    if (countdownLength_) {
        const std::uint64_t generation = generation_;
        std::weak_ptr<ZuIdleTimer> weakSelf = weak_from_this();
        countdown_ = rx::Observable<int>::timer(*countdownLength_, rx::MainScheduler::asyncInstance())
                         .subscribe([weakSelf, generation](int) {
                             if (auto self = weakSelf.lock()) self->countdownDidRunOut(generation);
                         });
    }
    send(timeInterval_, forced);
}

void ZuIdleTimer::countdownDidRunOut(std::uint64_t generation) {
    if (generation != generation_) return;
    // Let the spent countdown go first: a handler that restarts keeps its new countdown.
    countdown_.reset();
    ++generation_;
    send(0.0, false);
}

void ZuIdleTimer::schedule() {
    restart(true);
}

void ZuIdleTimer::toggle() {
    if (isScheduled()) {
        invalidate();
    } else {
        restart(true);
    }
}

bool ZuIdleTimer::invalidate() {
    if (!isScheduled()) return false;
    cancelCountdown();
    send(0.0, true);
    return true;
}

void ZuIdleTimer::observe(const std::shared_ptr<ViewInterface>& view) {
    if (auto asView = std::dynamic_pointer_cast<uikit::UIView>(view)) add(asView);
}

void ZuIdleTimer::add(const std::shared_ptr<uikit::UIView>& to) {
    // Replacing the bag ends the observation of the previous view.
    disposeBag_ = std::make_unique<rx::DisposeBag>();
    std::weak_ptr<ZuIdleTimer> weakSelf = weak_from_this();
    std::weak_ptr<uikit::UIView> weakView = to;
    rx::Reactive(foundation::NotificationCenter::defaultCenter())
        .notification(UIApplicationDidSendEvent)
        .compactMap([](const foundation::Notification& notification) {
            auto event = notification.object.as<uikit::UIEvent>();
            return event ? std::optional(std::move(event)) : std::nullopt;
        })
        .compactMap([weakView](const std::shared_ptr<uikit::UIEvent>& event) -> std::optional<bool> {
            auto view = weakView.lock();
            if (!view) return std::nullopt;
            auto touches = touchesForSubviews(*event, view);
            if (!touches || touches->empty()) return std::nullopt;
            return meaning(touches->front()->phase());
        })
        .subscribe([weakSelf](bool fingerDown) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (fingerDown) {
                self->cancelCountdown();
            } else {
                self->restart(false);
            }
        })
        .disposed(*disposeBag_);
    restart(false);
}

}  // namespace lumora
