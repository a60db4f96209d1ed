#pragma once

#include <algorithm>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dispatch/Clock.h"
#include "foundation/Error.h"
#include "rx/Disposables.h"
#include "rx/Event.h"
#include "rx/Schedulers.h"

namespace rx {

template <class T>
class Observable;

// Anything that can be seen as an observable (an Observable, a ControlEvent, a subject, a relay).
template <class O>
concept ObservableConvertible = requires(const O& o) {
    typename decltype(o.asObservable())::Element;
};
template <class O>
using ObservableElementOf = typename decltype(std::declval<const O&>().asObservable())::Element;

// Anything that can be seen as an observer of T (an AnyObserver, a subject, a Binder, a ControlProperty).
template <class O, class T>
concept ObserverConvertible = requires(const O& o) {
    { o.asObserver() } -> std::same_as<AnyObserver<T>>;
};

// Something that accepts elements but never ends (a relay).
template <class R, class T>
concept RelayOf = requires(const R& r, const T& v) {
    r.accept(v);
};

// How long a shared subscription lives: while at least one subscriber is connected.
enum class SubjectLifetimeScope { whileConnected };

namespace detail {

struct ObservableAccess;

template <class U, class T>
void forwardStop(const AnyObserver<U>& observer, const Event<T>& event) {
    if (const auto* error = event.error()) {
        observer.onError(*error);
    } else {
        observer.onCompleted();
    }
}

// One stage of a chain. It keeps the event grammar (nothing after an error or a completion, nothing after
// dispose), and on an error or a completion it releases what the stage holds upstream.
template <class T>
class StageSink final : public Disposable::Impl {
  public:
    explicit StageSink(AnyObserver<T> observer) : observer_(std::move(observer)) {}

    void on(const Event<T>& event) {
        if (disposed_.load(std::memory_order_acquire) || stopped_.load(std::memory_order_acquire)) return;
        if (event.isNext()) {
            observer_.on(event);
            return;
        }
        if (stopped_.exchange(true)) return;
        observer_.on(event);
        dispose();
    }
    void setUpstream(Disposable upstream) {
        {
            std::lock_guard lock(mutex_);
            if (!disposed_.load()) {
                upstream_ = std::move(upstream);
                return;
            }
        }
        upstream.dispose();
    }
    void dispose() override {
        Disposable upstream;
        {
            std::lock_guard lock(mutex_);
            if (disposed_.exchange(true)) return;
            upstream = std::exchange(upstream_, Disposable());
        }
        upstream.dispose();
    }
    bool isDisposed() const override { return disposed_.load(); }

  private:
    AnyObserver<T> observer_;
    std::mutex mutex_;  // guards upstream_, taken by the dispose that sets disposed_
    std::atomic<bool> stopped_{false};
    std::atomic<bool> disposed_{false};
    Disposable upstream_;
};

// The end of a chain, where the subscriber's own code runs. Delivery holds a per-subscription (recursive)
// lock, so once `dispose()` has returned on any thread no element reaches the subscriber any more; a
// subscriber may still dispose or emit from inside its own handlers on the same thread.
template <class T>
class SubscriberSink final : public Disposable::Impl {
  public:
    SubscriberSink(AnyObserver<T> observer, std::function<void()> onDisposed)
        : observer_(std::move(observer)), onDisposed_(std::move(onDisposed)) {}

    void on(const Event<T>& event) {
        std::unique_lock lock(mutex_);
        if (stopped_ || disposed_.load()) return;
        if (event.isNext()) {
            observer_.on(event);
            return;
        }
        stopped_ = true;
        observer_.on(event);
        lock.unlock();
        dispose();
    }
    void setUpstream(Disposable upstream) {
        {
            std::lock_guard lock(mutex_);
            if (!disposed_.load()) {
                upstream_ = std::move(upstream);
                return;
            }
        }
        upstream.dispose();
    }
    void dispose() override {
        // Once disposed, always disposed, and it was set under the lock: a later dispose has nothing to wait
        // for. Not taking the lock then keeps a subscription that ended (its error or completion delivered)
        // out of the lock order of whoever releases it from inside another subscription's handler.
        if (disposed_.load()) return;
        Disposable upstream;
        std::function<void()> onDisposed;
        {
            std::lock_guard lock(mutex_);
            if (disposed_.exchange(true)) return;
            upstream = std::exchange(upstream_, Disposable());
            onDisposed.swap(onDisposed_);
        }
        upstream.dispose();
        if (onDisposed) onDisposed();
    }
    bool isDisposed() const override { return disposed_.load(); }

  private:
    AnyObserver<T> observer_;
    std::function<void()> onDisposed_;
    std::recursive_mutex mutex_;  // held while an event is delivered; guards stopped_, upstream_ and onDisposed_
    bool stopped_ = false;
    std::atomic<bool> disposed_{false};
    Disposable upstream_;
};

template <class T>
struct ShareState;

inline void reportBindingError(const foundation::Error& error) {
    std::fprintf(stderr, "[rx] Binding error: %s\n", error.localizedDescription().c_str());
}

}  // namespace detail

// A cold stream of T: each subscription runs the stream's subscribe function anew. An Observable is a cheap
// value (copies share the function). An error or a completion ends a subscription; disposing it stops
// delivery at once.
template <class T>
class Observable {
  public:
    using Element = T;
    using SubscribeHandler = std::function<Disposable(const AnyObserver<T>&)>;

    // ---- Sources ----

    // A stream whose subscriptions run `subscribe` with an observer to send events to; the disposable it returns
    // is disposed when the subscription ends (by dispose, error or completion).
    static Observable create(SubscribeHandler subscribe) {
        auto handler = std::make_shared<const SubscribeHandler>(std::move(subscribe));
        return Observable(std::make_shared<const SubscribeHandler>([handler](const AnyObserver<T>& observer) {
            auto sink = std::make_shared<detail::StageSink<T>>(observer);
            Disposable inner = (*handler)(AnyObserver<T>([sink](const Event<T>& event) { sink->on(event); }));
            sink->setUpstream(std::move(inner));
            return Disposable(sink);
        }));
    }

    // Makes the stream only when subscribed, a new one for every subscription.
    static Observable deferred(std::function<Observable()> factory) {
        return create([factory = std::move(factory)](const AnyObserver<T>& observer) {
            return factory().subscribeRaw(observer);
        });
    }

    static Observable just(T value) {
        return create([value = std::move(value)](const AnyObserver<T>& observer) {
            observer.onNext(value);
            observer.onCompleted();
            return Disposable();
        });
    }

    // The values in order, then completion. With a scheduler, each element is one scheduled action.
    static Observable of(std::vector<T> values, std::shared_ptr<ImmediateSchedulerType> scheduler = nullptr) {
        auto shared = std::make_shared<const std::vector<T>>(std::move(values));
        return create([shared, scheduler](const AnyObserver<T>& observer) -> Disposable {
            if (!scheduler) {
                for (const auto& value : *shared) observer.onNext(value);
                observer.onCompleted();
                return Disposable();
            }
            // A flag rather than a serial disposable: an inline scheduler runs the first action before
            // `schedule` returns, and the handle it returns must not cancel the action queued after it.
            auto cancelled = std::make_shared<detail::FlagDisposable>();
            scheduleElement(shared, 0, observer, scheduler, cancelled);
            return Disposable(cancelled);
        });
    }

    // One element when the optional holds one, otherwise an empty stream.
    static Observable from(std::optional<T> value) { return value ? just(std::move(*value)) : empty(); }

    static Observable empty() {
        return create([](const AnyObserver<T>& observer) {
            observer.onCompleted();
            return Disposable();
        });
    }

    static Observable never() {
        return create([](const AnyObserver<T>&) { return Disposable(); });
    }

    static Observable error(foundation::Error error) {
        return create([error = std::move(error)](const AnyObserver<T>& observer) {
            observer.onError(error);
            return Disposable();
        });
    }

    // Every element of every source as it arrives; completes once all sources have completed.
    static Observable merge(std::vector<Observable> sources) {
        return Observable<Observable>::of(std::move(sources)).merge();
    }

    // 0, 1, 2, ... one every `period`, the first one `period` after subscribing. Firings are at
    // start + n × period on the one clock (no drift). A period that is not positive fails the stream at once.
    static Observable interval(dispatch::Nanoseconds period,
                               std::shared_ptr<SchedulerType> scheduler) requires std::integral<T> {
        return timer(period, period, std::move(scheduler));
    }

    // One element (0) `dueTime` after subscribing, then completion.
    static Observable timer(dispatch::Nanoseconds dueTime,
                            std::shared_ptr<SchedulerType> scheduler) requires std::integral<T> {
        return create([dueTime, scheduler](const AnyObserver<T>& observer) {
            return scheduler->scheduleRelative(dueTime, [observer] {
                observer.onNext(T(0));
                observer.onCompleted();
            });
        });
    }

    // 0 after `dueTime`, then 1, 2, ... every `period`.
    static Observable timer(dispatch::Nanoseconds dueTime, dispatch::Nanoseconds period,
                            std::shared_ptr<SchedulerType> scheduler) requires std::integral<T> {
        if (period <= dispatch::Nanoseconds{0}) {
            return error(RxError::argumentOutOfRange("a periodic timer needs a positive period"));
        }
        return create([dueTime, period, scheduler](const AnyObserver<T>& observer) -> Disposable {
            SerialDisposable slot;
            const auto first = dispatch::saturatingAdd(scheduler->now(), std::max(dueTime, dispatch::Nanoseconds{0}));
            scheduleTick(first, period, 0, observer, scheduler, slot);
            return slot;
        });
    }

    // ---- Subscribing ----

    Disposable subscribe(const AnyObserver<T>& observer) const { return subscribeGuarded(observer, nullptr); }

    template <class O>
    requires(ObserverConvertible<O, T> && !std::same_as<O, AnyObserver<T>>) Disposable subscribe(const O& observer)
    const { return subscribeGuarded(observer.asObserver(), nullptr); }

    // Every handler is optional. `onDisposed` runs once when the subscription ends, however it ends.
    Disposable subscribe(std::function<void(const T&)> onNext = {},
                         std::function<void(const foundation::Error&)> onError = {},
                         std::function<void()> onCompleted = {}, std::function<void()> onDisposed = {}) const {
        AnyObserver<T> observer([onNext = std::move(onNext), onError = std::move(onError),
                                 onCompleted = std::move(onCompleted)](const Event<T>& event) {
            if (const auto* value = event.element()) {
                if (onNext) onNext(*value);
            } else if (const auto* error = event.error()) {
                if (onError) onError(*error);
            } else if (onCompleted) {
                onCompleted();
            }
        });
        return subscribeGuarded(observer, std::move(onDisposed));
    }

    // Binds the stream to an observer (a Binder, a ControlProperty, a subject): every event goes to it.
    template <class O>
    requires ObserverConvertible<O, T> Disposable bind(const O& observer)
    const { return subscribe(observer.asObserver()); }

    // Binds the stream to a relay: elements are accepted; a relay never ends, so errors and completion stay
    // here (an error is reported on the standard error stream).
    template <class R>
    requires(RelayOf<R, T> && !ObserverConvertible<R, T>) Disposable bind(const R& relay)
    const {
        return subscribe([relay](const T& value) { relay.accept(value); }, detail::reportBindingError);
    }

    Disposable bind(std::function<void(const T&)> onNext) const {
        return subscribe(std::move(onNext), detail::reportBindingError);
    }

    Observable asObservable() const { return *this; }

    // ---- Operators ----

    template <class F>
    auto map(F transform) const {
        using U = std::decay_t<std::invoke_result_t<F&, const T&>>;
        return Observable<U>::create([source = *this, transform](const AnyObserver<U>& observer) {
            return source.subscribeRaw(AnyObserver<T>([observer, transform](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    observer.onNext(transform(*value));
                } else {
                    detail::forwardStop(observer, event);
                }
            }));
        });
    }

    // Maps each element to an optional and passes on only the values that are there.
    template <class F>
    auto compactMap(F transform) const {
        using R = std::decay_t<std::invoke_result_t<F&, const T&>>;
        using U = typename R::value_type;
        return Observable<U>::create([source = *this, transform](const AnyObserver<U>& observer) {
            return source.subscribeRaw(AnyObserver<T>([observer, transform](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    if (auto mapped = transform(*value)) observer.onNext(std::move(*mapped));
                } else {
                    detail::forwardStop(observer, event);
                }
            }));
        });
    }

    template <class P>
    Observable filter(P predicate) const {
        return create([source = *this, predicate](const AnyObserver<T>& observer) {
            return source.subscribeRaw(AnyObserver<T>([observer, predicate](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    if (predicate(*value)) observer.on(event);
                } else {
                    observer.on(event);
                }
            }));
        });
    }

    // Subscribes to the stream each element maps to and merges them all; completes when this stream and every
    // inner stream have completed; the first error ends everything.
    template <class F>
    auto flatMap(F selector) const {
        using Inner = std::decay_t<std::invoke_result_t<F&, const T&>>;
        using U = ObservableElementOf<Inner>;
        return Observable<U>::create([source = *this, selector](const AnyObserver<U>& observer) {
            struct State {
                std::mutex mutex;        // guards active and stopped
                std::size_t active = 1;  // the outer stream and each running inner stream
                bool stopped = false;
                CompositeDisposable group;
                bool stop() {
                    std::lock_guard lock(mutex);
                    return !std::exchange(stopped, true);
                }
                bool finishOne() {
                    std::lock_guard lock(mutex);
                    if (stopped || --active > 0) return false;
                    stopped = true;
                    return true;
                }
                bool isStopped() {
                    std::lock_guard lock(mutex);
                    return stopped;
                }
            };
            auto state = std::make_shared<State>();
            auto outer = source.subscribeRaw(AnyObserver<T>([observer, state, selector](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    Observable<U> inner = selector(*value).asObservable();
                    {
                        std::lock_guard lock(state->mutex);
                        if (state->stopped) return;
                        ++state->active;
                    }
                    SerialDisposable slot;
                    const auto key = state->group.insert(slot);
                    slot.setDisposable(inner.subscribeRaw(AnyObserver<U>([observer, state, key](const Event<U>& e) {
                        if (e.isNext()) {
                            if (!state->isStopped()) observer.on(e);
                        } else if (e.isError()) {
                            if (state->stop()) observer.on(e);
                        } else {
                            state->group.remove(key);
                            if (state->finishOne()) observer.onCompleted();
                        }
                    })));
                } else if (event.isError()) {
                    if (state->stop()) detail::forwardStop(observer, event);
                } else if (state->finishOne()) {
                    observer.onCompleted();
                }
            }));
            state->group.insert(outer);
            return Disposable(state->group);
        });
    }

    // Like flatMap, but each element switches to its own inner stream: the inner stream of the element before
    // is disposed, and nothing more of it is forwarded. Completes when this stream has completed and the
    // latest inner stream has too.
    template <class F>
    auto flatMapLatest(F selector) const {
        using Inner = std::decay_t<std::invoke_result_t<F&, const T&>>;
        using U = ObservableElementOf<Inner>;
        return Observable<U>::create([source = *this, selector](const AnyObserver<U>& observer) {
            struct State {
                std::mutex mutex;  // guards latest, hasInner, outerDone and stopped
                std::uint64_t latest = 0;
                bool hasInner = false;
                bool outerDone = false;
                bool stopped = false;
                SerialDisposable inner;
            };
            auto state = std::make_shared<State>();
            auto outer = source.subscribeRaw(AnyObserver<T>([observer, state, selector](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    Observable<U> inner = selector(*value).asObservable();
                    std::uint64_t id;
                    {
                        std::lock_guard lock(state->mutex);
                        if (state->stopped) return;
                        id = ++state->latest;
                        state->hasInner = true;
                    }
                    SerialDisposable slot;
                    state->inner.setDisposable(slot);  // ends the previous inner subscription
                    slot.setDisposable(inner.subscribeRaw(AnyObserver<U>([observer, state, id](const Event<U>& e) {
                        {
                            std::lock_guard lock(state->mutex);
                            if (state->stopped || state->latest != id) return;
                            if (e.isError()) {
                                state->stopped = true;
                            } else if (e.isCompleted()) {
                                state->hasInner = false;
                                if (!state->outerDone) return;
                                state->stopped = true;
                            }
                        }
                        observer.on(e);
                    })));
                } else {
                    {
                        std::lock_guard lock(state->mutex);
                        if (state->stopped) return;
                        if (event.isCompleted()) {
                            state->outerDone = true;
                            if (state->hasInner) return;
                        }
                        state->stopped = true;
                    }
                    detail::forwardStop(observer, event);
                }
            }));
            return Disposables::create(outer, state->inner);
        });
    }

    // For a stream of streams: merges them (see flatMap).
    auto merge() const requires ObservableConvertible<T> {
        return flatMap([](const T& inner) { return inner.asObservable(); });
    }

    // The first `count` elements, then completion (and the source subscription is disposed).
    Observable take(std::size_t count) const {
        if (count == 0) return empty();
        return create([source = *this, count](const AnyObserver<T>& observer) {
            auto remaining = std::make_shared<std::atomic<std::size_t>>(count);
            return source.subscribeRaw(AnyObserver<T>([observer, remaining](const Event<T>& event) {
                if (event.isNext()) {
                    std::size_t left = remaining->load();
                    while (left > 0 && !remaining->compare_exchange_weak(left, left - 1)) {
                    }
                    if (left == 0) return;
                    observer.on(event);
                    if (left == 1) observer.onCompleted();
                } else {
                    observer.on(event);
                }
            }));
        });
    }

    // Elements until `other` emits its first element; then completion, and both subscriptions are disposed.
    // An error of `other` ends this stream with that error; its completion changes nothing.
    template <class O>
    requires ObservableConvertible<O> Observable takeUntil(const O& other)
    const {
        using U = ObservableElementOf<O>;
        return create([source = *this, trigger = other.asObservable()](const AnyObserver<T>& observer) {
            CompositeDisposable group;
            auto ended = std::make_shared<std::atomic<bool>>(false);
            group.insert(trigger.subscribeRaw(AnyObserver<U>([observer, ended](const Event<U>& event) {
                if (event.isCompleted()) return;
                ended->store(true);
                if (const auto* error = event.error()) {
                    observer.onError(*error);
                } else {
                    observer.onCompleted();
                }
            })));
            if (!ended->load()) group.insert(source.subscribeRaw(observer));
            return Disposable(group);
        });
    }

    // Drops elements equal to the one passed on before.
    Observable distinctUntilChanged() const requires std::equality_comparable<T> {
        return distinctUntilChanged([](const T& value) { return value; });
    }

    // Drops elements whose key equals the key of the element passed on before.
    template <class K>
    Observable distinctUntilChanged(K keySelector) const {
        using Key = std::decay_t<std::invoke_result_t<K&, const T&>>;
        return create([source = *this, keySelector](const AnyObserver<T>& observer) {
            struct State {
                std::mutex mutex;  // guards last
                std::optional<Key> last;
            };
            auto state = std::make_shared<State>();
            return source.subscribeRaw(AnyObserver<T>([observer, state, keySelector](const Event<T>& event) mutable {
                if (const auto* value = event.element()) {
                    Key key = keySelector(*value);
                    {
                        std::lock_guard lock(state->mutex);
                        if (state->last && *state->last == key) return;
                        state->last.emplace(std::move(key));
                    }
                }
                observer.on(event);
            }));
        });
    }

    // Trailing-edge debounce: an element is passed on once `dueTime` has gone by without another element (on
    // the scheduler, on the one clock). Completion first passes on the element still waiting; an error drops it.
    Observable debounce(dispatch::Nanoseconds dueTime, std::shared_ptr<SchedulerType> scheduler) const {
        return create([source = *this, dueTime, scheduler](const AnyObserver<T>& observer) {
            struct State {
                std::mutex mutex;  // guards pending and generation
                std::optional<T> pending;
                std::uint64_t generation = 0;
                SerialDisposable timer;
            };
            auto state = std::make_shared<State>();
            auto subscription =
                source.subscribeRaw(AnyObserver<T>([observer, state, dueTime, scheduler](const Event<T>& event) {
                    if (const auto* value = event.element()) {
                        std::lock_guard lock(state->mutex);
                        state->pending = *value;
                        const auto generation = ++state->generation;
                        state->timer.setDisposable(scheduler->scheduleRelative(dueTime, [observer, state, generation] {
                            std::optional<T> due;
                            {
                                std::lock_guard lock(state->mutex);
                                if (state->generation != generation || !state->pending) return;
                                due = std::exchange(state->pending, std::nullopt);
                            }
                            observer.onNext(std::move(*due));
                        }));
                        return;
                    }
                    std::optional<T> due;
                    {
                        std::lock_guard lock(state->mutex);
                        ++state->generation;
                        due = std::exchange(state->pending, std::nullopt);
                    }
                    state->timer.dispose();
                    if (due && event.isCompleted()) observer.onNext(std::move(*due));
                    observer.on(event);
                }));
            return Disposables::create(subscription, state->timer);
        });
    }

    // One subscription to this stream shared by every subscriber while at least one is connected. The last
    // `replay` elements are replayed to each new subscriber. When the last subscriber leaves, or the stream
    // ends, the shared subscription (and its replay buffer) goes; the next subscriber starts it anew.
    Observable share(std::size_t replay = 0, SubjectLifetimeScope scope = SubjectLifetimeScope::whileConnected) const {
        (void)scope;
        auto state = std::make_shared<detail::ShareState<T>>(*this, replay);
        return create([state](const AnyObserver<T>& observer) { return state->subscribe(observer); });
    }

    // Every event as an element: each element, then the error or completion as a last element, then completion.
    Observable<Event<T>> materialize() const {
        return Observable<Event<T>>::create([source = *this](const AnyObserver<Event<T>>& observer) {
            return source.subscribeRaw(AnyObserver<T>([observer](const Event<T>& event) {
                observer.onNext(event);
                if (event.isStopEvent()) observer.onCompleted();
            }));
        });
    }

    // Delivers every event through `scheduler`, in order.
    Observable observeOn(std::shared_ptr<ImmediateSchedulerType> scheduler) const {
        return create([source = *this, scheduler](const AnyObserver<T>& observer) {
            return source.subscribeRaw(AnyObserver<T>([observer, scheduler](const Event<T>& event) {
                scheduler->schedule([observer, event] { observer.on(event); });
            }));
        });
    }

    // The given elements first, then the elements of this stream.
    template <class... V>
    Observable startWith(V&&... values) const {
        auto first = std::make_shared<const std::vector<T>>(std::vector<T>{T(std::forward<V>(values))...});
        return create([source = *this, first](const AnyObserver<T>& observer) {
            for (const auto& value : *first) observer.onNext(value);
            return source.subscribeRaw(observer);
        });
    }

  private:
    template <class>
    friend class Observable;
    friend struct detail::ObservableAccess;
    template <class>
    friend struct detail::ShareState;

    explicit Observable(std::shared_ptr<const SubscribeHandler> subscribe) : subscribe_(std::move(subscribe)) {}

    // Subscribes without the end-of-chain guard: for the library's own stages, which sit behind a StageSink.
    Disposable subscribeRaw(const AnyObserver<T>& observer) const { return (*subscribe_)(observer); }

    Disposable subscribeGuarded(const AnyObserver<T>& observer, std::function<void()> onDisposed) const {
        auto sink = std::make_shared<detail::SubscriberSink<T>>(observer, std::move(onDisposed));
        sink->setUpstream(subscribeRaw(AnyObserver<T>([sink](const Event<T>& event) { sink->on(event); })));
        return Disposable(sink);
    }

    static void scheduleElement(std::shared_ptr<const std::vector<T>> values, std::size_t index,
                                AnyObserver<T> observer, std::shared_ptr<ImmediateSchedulerType> scheduler,
                                std::shared_ptr<detail::FlagDisposable> cancelled) {
        scheduler->schedule([values, index, observer, scheduler, cancelled] {
            if (cancelled->isDisposed()) return;
            if (index >= values->size()) {
                observer.onCompleted();
                return;
            }
            observer.onNext((*values)[index]);
            scheduleElement(values, index + 1, observer, scheduler, cancelled);
        });
    }

    static void scheduleTick(dispatch::Nanoseconds first, dispatch::Nanoseconds period, std::uint64_t tick,
                             AnyObserver<T> observer, std::shared_ptr<SchedulerType> scheduler, SerialDisposable slot) {
        const auto due = dispatch::saturatingAdd(first, detail::saturatingMultiply(period, tick));
        slot.setDisposable(scheduler->scheduleRelative(due - scheduler->now(), [=] {
            observer.onNext(static_cast<T>(tick));
            scheduleTick(first, period, tick + 1, observer, scheduler, slot);
        }));
    }

    std::shared_ptr<const SubscribeHandler> subscribe_;
};

namespace detail {

// Lets the library's subjects and user-interface pieces build and subscribe streams without the per-stage guard.
struct ObservableAccess {
    template <class T>
    static Observable<T> make(typename Observable<T>::SubscribeHandler handler) {
        return Observable<T>(std::make_shared<const typename Observable<T>::SubscribeHandler>(std::move(handler)));
    }
    template <class T>
    static Disposable subscribeRaw(const Observable<T>& observable, const AnyObserver<T>& observer) {
        return observable.subscribeRaw(observer);
    }
};

template <class T>
struct ShareState : std::enable_shared_from_this<ShareState<T>> {
    struct Connection {
        std::vector<std::pair<std::uint64_t, AnyObserver<T>>> observers;
        std::deque<T> buffer;
        SerialDisposable upstream;
    };

    ShareState(Observable<T> source, std::size_t replay) : source(std::move(source)), replay(replay) {}

    Disposable subscribe(const AnyObserver<T>& observer) {
        auto self = this->shared_from_this();
        std::shared_ptr<Connection> connection;
        std::uint64_t id;
        {
            // Replay and registration happen under the lock so that a subscriber sees the replayed elements
            // before any live one. The lock is recursive: a synchronous source may emit while we connect.
            std::lock_guard lock(mutex);
            const bool connect = !current;
            if (connect) current = std::make_shared<Connection>();
            connection = current;
            id = nextId++;
            for (const auto& value : connection->buffer) observer.onNext(value);
            connection->observers.emplace_back(id, observer);
            if (connect) {
                connection->upstream.setDisposable(source.subscribeRaw(
                    AnyObserver<T>([self, connection](const Event<T>& event) { self->on(connection, event); })));
            }
        }
        return Disposables::create([self, connection, id] { self->remove(connection, id); });
    }

    void on(const std::shared_ptr<Connection>& connection, const Event<T>& event) {
        std::vector<AnyObserver<T>> targets;
        {
            std::lock_guard lock(mutex);
            if (current != connection) return;
            targets.reserve(connection->observers.size());
            for (const auto& [id, observer] : connection->observers) targets.push_back(observer);
            if (const auto* value = event.element()) {
                if (replay > 0) {
                    connection->buffer.push_back(*value);
                    if (connection->buffer.size() > replay) connection->buffer.pop_front();
                }
            } else {
                connection->observers.clear();
                connection->buffer.clear();
                current.reset();
            }
        }
        if (event.isStopEvent()) connection->upstream.dispose();
        for (const auto& observer : targets) observer.on(event);
    }

    void remove(const std::shared_ptr<Connection>& connection, std::uint64_t id) {
        {
            std::lock_guard lock(mutex);
            if (current != connection) return;
            auto& observers = connection->observers;
            std::erase_if(observers, [id](const auto& entry) { return entry.first == id; });
            if (!observers.empty()) return;
            connection->buffer.clear();
            current.reset();
        }
        connection->upstream.dispose();
    }

    Observable<T> source;
    std::size_t replay;
    std::recursive_mutex mutex;  // guards current (its observers and buffer) and nextId
    std::shared_ptr<Connection> current;
    std::uint64_t nextId = 1;
};

}  // namespace detail

}  // namespace rx
