#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "dispatch/Clock.h"
#include "rx/Cocoa.h"
#include "rx/Disposables.h"
#include "rx/Relays.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuIdleTimer;

// One announcement of an idle timer. A positive `timeInterval` says the controls are in use and a countdown
// of that many seconds has started; 0 says idle (the countdown ran out, or a caller dismissed the controls).
// `isForced` tells a caller's request (`schedule()`, `toggle()`, `invalidate()`) from touch activity,
// `add(to:)` and the countdown running out. Only timers make events; two events are equal when their
// intervals and forced flags are, whichever timers sent them.
class ZuIdleTimerEvent {
  public:
    double timeInterval() const { return timeInterval_; }
    bool isForced() const { return isForced_; }
    // The timer that sent the event; the event never keeps it alive.
    std::shared_ptr<ZuIdleTimer> timer() const { return timer_.lock(); }

    bool operator==(const ZuIdleTimerEvent& other) const {
        return timeInterval_ == other.timeInterval_ && isForced_ == other.isForced_;
    }

  private:
    friend class ZuIdleTimer;
    ZuIdleTimerEvent(double timeInterval, bool isForced, std::weak_ptr<ZuIdleTimer> timer)
        : timeInterval_(timeInterval), isForced_(isForced), timer_(std::move(timer)) {}

    double timeInterval_;
    bool isForced_;
    std::weak_ptr<ZuIdleTimer> timer_;
};

// What `observe(view:)` accepts: a view. Conformers are `uikit::UIView` subclasses; anything else is not
// observed.
class ViewInterface {
  public:
    virtual ~ViewInterface() = default;

  protected:
    ViewInterface() = default;
};

class ZuIdleTimerInterface {
  public:
    using EventHandler = std::function<void(const ZuIdleTimerEvent&)>;

    virtual ~ZuIdleTimerInterface() = default;

    virtual const EventHandler& eventHandler() const = 0;
    // Calls the new handler (when there is one) at once with the event published last.
    virtual void setEventHandler(EventHandler handler) = 0;
    virtual bool isScheduled() const = 0;
    virtual void observe(const std::shared_ptr<ViewInterface>& view) = 0;
    virtual void add(const std::shared_ptr<uikit::UIView>& to) = 0;
    virtual void toggle() = 0;
    virtual void schedule() = 0;
    // True when a countdown (or a resting touch) was stopped.
    virtual bool invalidate() = 0;
};

class ZuIdleTimerFactoryInterface {
  public:
    virtual ~ZuIdleTimerFactoryInterface() = default;
    virtual std::shared_ptr<ZuIdleTimerInterface> idleTimer(double timeInterval) const = 0;
};

struct ZuIdleTimerFactory final : ZuIdleTimerFactoryInterface {
    std::shared_ptr<ZuIdleTimerInterface> idleTimer(double timeInterval) const override;
};

// Decides when the on-screen controls have been left alone long enough to hide them, and publishes it as a
// stream of events (`event()`).
//
// Every restart (`schedule()`, `toggle()` from idle, `add(to:)`, and each touch that moves, ends or is
// cancelled on the observed view or below it) starts a countdown of `timeInterval` seconds on the main
// queue and publishes (interval, forced?); a touch that begins there stops the countdown without publishing,
// so the controls stay while a finger rests. When the countdown runs out the timer publishes (0, not
// forced). Touches are seen through the notifications of `ZuApplication`; without it only the explicit calls
// and the countdown work.
//
// Only the live countdown is kept (restarting never piles handles up), and a countdown that has fired is let
// go before its event is published, so a handler may schedule the next one from inside. The interval is
// sanitised when the timer is made: NaN or negative counts as 0; one too long to count in milliseconds
// (or infinite) is published as given and never runs out. Main thread only.
class ZuIdleTimer final : public ZuIdleTimerInterface, public std::enable_shared_from_this<ZuIdleTimer> {
  public:
    static std::shared_ptr<ZuIdleTimer> create(double timeInterval);
    ~ZuIdleTimer() override;

    ZuIdleTimer(const ZuIdleTimer&) = delete;
    ZuIdleTimer& operator=(const ZuIdleTimer&) = delete;

    const EventHandler& eventHandler() const override { return eventHandler_; }
    void setEventHandler(EventHandler handler) override;
    double timeInterval() const { return timeInterval_; }
    // The event published last: (1.0, not forced) until the first one, so a new timer counts as scheduled.
    ZuIdleTimerEvent currentEvent() const { return publish().value(); }
    bool isScheduled() const override { return currentEvent().timeInterval() > 0; }
    // The event published last at once, then every later one; never fails or completes while the timer lives.
    rx::ControlEvent<ZuIdleTimerEvent> event() const;

    void observe(const std::shared_ptr<ViewInterface>& view) override;
    // Watches the touches on `to` and below it (replacing any earlier view), and restarts (not forced).
    void add(const std::shared_ptr<uikit::UIView>& to) override;
    void toggle() override;
    void schedule() override;
    bool invalidate() override;

  private:
    explicit ZuIdleTimer(double timeInterval);

    const rx::BehaviorRelay<ZuIdleTimerEvent>& publish() const;
    void restart(bool forced);
    void cancelCountdown();
    void countdownDidRunOut(std::uint64_t generation);
    void send(double timeInterval, bool forced);

    EventHandler eventHandler_;
    const double timeInterval_;
    // Nothing: the countdown never runs out.
    const std::optional<dispatch::Nanoseconds> countdownLength_;
    // The running countdown only; `generation_` tells a late firing of a replaced one.
    std::optional<rx::Disposable> countdown_;
    std::uint64_t generation_ = 0;
    mutable std::optional<rx::BehaviorRelay<ZuIdleTimerEvent>> publish_;  // made on first use
    // The touch observation of the view last given to `add(to:)`.
    std::unique_ptr<rx::DisposeBag> disposeBag_;
};

}  // namespace lumora
