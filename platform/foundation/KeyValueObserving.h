#pragma once

#include <any>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/Error.h"

namespace foundation {

// Observable properties: typed values that tell their observers, synchronously and inside the setter,
// every time they are set.
//
// An object with observable state keeps each property as a `KVOProperty<T>` member and exposes it as
//
//     Status status() const { return status_.value(); }
//     void setStatus(Status s) { status_.set(s); }
//     const foundation::KVOProperty<Status>& statusProperty() const { return status_; }
//
// Observers call `statusProperty().observe(options, handler)` and keep the returned
// `NSKeyValueObservation` for as long as they observe. Objects that are also observed by name derive
// from `KVOObservable` and register their properties under their names.

// What an observation reports. `initial` sends one notification at once, from inside `observe`;
// `new_` puts the new value into every change record, `old` the previous one.
enum class NSKeyValueObservingOptions : std::uint32_t {
    new_ = 0x01,
    old = 0x02,
    initial = 0x04,
};

constexpr NSKeyValueObservingOptions operator|(NSKeyValueObservingOptions a, NSKeyValueObservingOptions b) {
    return static_cast<NSKeyValueObservingOptions>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool contains(NSKeyValueObservingOptions options, NSKeyValueObservingOptions option) {
    return (static_cast<std::uint32_t>(options) & static_cast<std::uint32_t>(option)) != 0;
}

// One notification. `newValue` is present when the options include `new_` (the initial notification
// included); `oldValue` when they include `old`, except in the initial notification.
template <class T>
struct NSKeyValueObservedChange {
    std::optional<T> newValue;
    std::optional<T> oldValue;
};

// An observation in force. It stops when `invalidate()` is called or when it is destroyed, whichever
// comes first; after that its handler is never called again (also when it is invalidated from inside
// its own handler, or after the observed object is gone). Move-only; a moved-from or default-made
// observation observes nothing.
class NSKeyValueObservation {
  public:
    NSKeyValueObservation() = default;
    explicit NSKeyValueObservation(std::function<void()> onInvalidate);
    NSKeyValueObservation(NSKeyValueObservation&&) noexcept = default;
    NSKeyValueObservation& operator=(NSKeyValueObservation&& other) noexcept;
    ~NSKeyValueObservation();

    void invalidate();
    bool isValid() const;

  private:
    struct Core {
        explicit Core(std::function<void()> action) : onInvalidate(std::move(action)) {}
        std::atomic<bool> valid{true};
        std::function<void()> onInvalidate;  // taken by the first invalidation
    };
    std::shared_ptr<Core> core_;
};

namespace detail {

template <class T>
struct PropertyObserver {
    NSKeyValueObservingOptions options;
    std::function<void(const NSKeyValueObservedChange<T>&)> handler;
    std::atomic<bool> active{true};
};

template <class T>
struct PropertyState {
    explicit PropertyState(T initial) : value(std::move(initial)) {}
    mutable std::mutex mutex;  // guards value and observers
    T value;
    std::vector<std::shared_ptr<PropertyObserver<T>>> observers;
};

template <class T>
NSKeyValueObservedChange<T> makeChange(NSKeyValueObservingOptions options, const T* newValue, const T* oldValue) {
    NSKeyValueObservedChange<T> change;
    if (newValue && contains(options, NSKeyValueObservingOptions::new_)) change.newValue = *newValue;
    if (oldValue && contains(options, NSKeyValueObservingOptions::old)) change.oldValue = *oldValue;
    return change;
}

}  // namespace detail

// A typed observable property. Every `set` notifies every observer (equal values included), in the
// order they started observing, synchronously on the setting thread, after the new value is stored:
// reading the property inside a handler gives the new value.
//
// Safe to read, set and observe from any thread; one set's notifications are not serialised against
// another thread's. Observations hold the property weakly: they may outlive it, and the property may be
// destroyed (with its owner) from inside one of its own handlers.
template <class T>
class KVOProperty {
  public:
    using ValueType = T;
    using Change = NSKeyValueObservedChange<T>;
    using Handler = std::function<void(const Change&)>;

    KVOProperty() requires std::default_initializable<T> : KVOProperty(T{}) {}
    explicit KVOProperty(T initial) : state_(std::make_shared<detail::PropertyState<T>>(std::move(initial))) {}
    KVOProperty(const KVOProperty&) = delete;
    KVOProperty& operator=(const KVOProperty&) = delete;

    T value() const {
        std::lock_guard lock(state_->mutex);
        return state_->value;
    }

    void set(T newValue) {
        // Everything below works on this local reference: a handler may destroy the property.
        const auto state = state_;
        std::vector<std::shared_ptr<detail::PropertyObserver<T>>> observers;
        std::optional<T> oldValue;
        const T delivered = newValue;
        {
            std::lock_guard lock(state->mutex);
            oldValue.emplace(std::exchange(state->value, std::move(newValue)));
            observers = state->observers;
        }
        for (const auto& observer : observers) {
            if (!observer->active.load()) continue;  // invalidated by an earlier handler
            observer->handler(detail::makeChange<T>(observer->options, &delivered, &*oldValue));
        }
    }

    [[nodiscard]] NSKeyValueObservation observe(NSKeyValueObservingOptions options, Handler handler) const {
        auto observer = std::make_shared<detail::PropertyObserver<T>>();
        observer->options = options;
        observer->handler = std::move(handler);
        std::optional<T> current;
        {
            std::lock_guard lock(state_->mutex);
            state_->observers.push_back(observer);
            if (contains(options, NSKeyValueObservingOptions::initial)) current.emplace(state_->value);
        }
        std::weak_ptr<detail::PropertyState<T>> weakState = state_;
        NSKeyValueObservation observation([weakState, observer] {
            observer->active = false;
            auto state = weakState.lock();
            if (!state) return;
            std::shared_ptr<detail::PropertyObserver<T>> removed;  // released after the lock
            std::lock_guard lock(state->mutex);
            for (auto it = state->observers.begin(); it != state->observers.end(); ++it) {
                if (*it == observer) {
                    removed = std::move(*it);
                    state->observers.erase(it);
                    break;
                }
            }
        });
        if (current && observer->active.load()) {
            observer->handler(detail::makeChange<T>(options, &*current, nullptr));
        }
        return observation;
    }

    // Observations in force (for tests and diagnostics).
    std::size_t observerCount() const {
        std::lock_guard lock(state_->mutex);
        return state_->observers.size();
    }

  private:
    std::shared_ptr<detail::PropertyState<T>> state_;
};

namespace detail {

template <class Inner, class Member>
using PathProperty = std::remove_cvref_t<std::invoke_result_t<Member&, Inner&>>;
template <class Inner, class Member>
using PathValue = typename PathProperty<Inner, Member>::ValueType;

template <class V>
struct PathState {
    NSKeyValueObservingOptions options{};
    std::function<void(const NSKeyValueObservedChange<std::optional<V>>&)> handler;
    NSKeyValueObservation outer;
    NSKeyValueObservation inner;
    std::atomic<bool> active{true};
    bool started = false;          // the observation has been set up: later reports are changes
    std::uint64_t generation = 0;  // bumped by every change of the outer object
    std::optional<V> last;         // the value last reported, for `old`

    void report(std::optional<V> value) {
        if (!active.load()) return;
        NSKeyValueObservedChange<std::optional<V>> change;
        if (contains(options, NSKeyValueObservingOptions::new_)) change.newValue = value;
        if (started && contains(options, NSKeyValueObservingOptions::old)) change.oldValue = last;
        last = std::move(value);
        if (!started && !contains(options, NSKeyValueObservingOptions::initial)) return;
        handler(change);
    }
};

}  // namespace detail

// Observes `outer->member.property` where `outer` is a property holding a replaceable object (or
// none): e.g. a player's current item's status,
//
//     observePath(player->currentItemProperty(), &AVPlayerItem::statusProperty, options, handler)
//
// The handler gets the inner property's value, or nullopt ("no value") while the outer property holds
// no object. It is told of every change of the inner property of the object held now, and of every
// replacement of the object, with the new object's value (or nullopt). The observation holds neither
// property nor object alive. Changes along one path are expected from one thread at a time.
template <class Inner, class Member>
requires std::invocable<Member&, Inner&>
[[nodiscard]] NSKeyValueObservation observePath(
    const KVOProperty<std::shared_ptr<Inner>>& outer, Member member, NSKeyValueObservingOptions options,
    std::function<void(const NSKeyValueObservedChange<std::optional<detail::PathValue<Inner, Member>>>&)> handler) {
    using V = detail::PathValue<Inner, Member>;
    using State = detail::PathState<V>;
    constexpr auto both = NSKeyValueObservingOptions::new_ | NSKeyValueObservingOptions::initial;

    auto state = std::make_shared<State>();
    state->options = options;
    state->handler = std::move(handler);
    std::weak_ptr<State> weak = state;

    state->outer = outer.observe(both, [weak, member](const NSKeyValueObservedChange<std::shared_ptr<Inner>>& change) {
        auto s = weak.lock();
        if (!s || !s->active.load()) return;
        const std::uint64_t generation = ++s->generation;
        s->inner.invalidate();
        const std::shared_ptr<Inner> object = change.newValue ? *change.newValue : nullptr;
        if (!object) {
            s->report(std::nullopt);
            return;
        }
        // The inner property's first notification reports the new object's value.
        auto observation = std::invoke(member, *object)
                               .observe(both, [weak, generation](const NSKeyValueObservedChange<V>& innerChange) {
                                   auto s = weak.lock();
                                   if (!s || s->generation != generation) return;  // an object since replaced
                                   s->report(innerChange.newValue);
                               });
        // A handler may have replaced the object again meanwhile; then this observation is stale.
        if (s->generation == generation) s->inner = std::move(observation);
    });
    state->started = true;
    return NSKeyValueObservation([state] {
        state->active = false;
        state->outer.invalidate();
        state->inner.invalidate();
    });
}

// A change record of an observation by name: the values as `std::any` holding the property's type
// (empty where the record has no such value).
struct KeyValueChange {
    std::any newValue;
    std::any oldValue;
};

// The error of a look-up by a name that the object does not have.
struct KeyValueCodingError {
    std::string key;
    std::string localizedDescription() const {
        return "this class is not key value coding-compliant for the key " + key + ".";
    }
};

class KVOObservable;

// The receiver of the target form of observation by name (`KVOObservable::addObserver`).
class KVOObserver {
  public:
    virtual ~KVOObserver() = default;
    virtual void observeValue(const std::string& keyPath, KVOObservable& object, const KeyValueChange& change,
                              void* context) = 0;
};

// The base of objects whose properties can also be observed and read by name. A subclass registers each
// such property in its constructor with `registerKey("status", status_)`.
class KVOObservable {
  public:
    virtual ~KVOObservable();

    // The value of the property registered under `key`.
    std::expected<std::any, Error> value(const std::string& key) const;

    // Observes the property registered under `keyPath` (a single key), as `KVOProperty::observe`.
    [[nodiscard]] std::expected<NSKeyValueObservation, Error> observe(
        const std::string& keyPath, NSKeyValueObservingOptions options,
        std::function<void(const KeyValueChange&)> handler) const;

    // The platform's target form: `observer->observeValue(keyPath, *this, change, context)` runs at each
    // notification, until `removeObserver(observer, keyPath)` or this object goes away. The observer is
    // held weakly; once it is gone its registrations are skipped.
    std::expected<void, Error> addObserver(const std::shared_ptr<KVOObserver>& observer, const std::string& keyPath,
                                           NSKeyValueObservingOptions options, void* context = nullptr);
    // Removes one registration of `observer` for `keyPath` (the latest); false when there is none.
    bool removeObserver(const std::shared_ptr<KVOObserver>& observer, const std::string& keyPath);

    // Runs `handler` once, on the destroying thread, when this object is destroyed (after its subclass
    // parts are gone: the handler must not reach into the object), unless the returned observation is
    // invalidated or destroyed first. What observers by name use to end their streams with the object.
    [[nodiscard]] NSKeyValueObservation observeDeallocation(std::function<void()> handler) const;

  protected:
    KVOObservable();
    KVOObservable(const KVOObservable&) = delete;
    KVOObservable& operator=(const KVOObservable&) = delete;

    // `property` must be a member of this object (it is reached for as long as the object lives).
    template <class T>
    void registerKey(std::string key, const KVOProperty<T>& property) {
        const KVOProperty<T>* p = &property;
        Key entry;
        entry.get = [p] { return std::any(p->value()); };
        entry.observe = [p](NSKeyValueObservingOptions options, std::function<void(const KeyValueChange&)> handler) {
            return p->observe(options, [handler = std::move(handler)](const NSKeyValueObservedChange<T>& change) {
                KeyValueChange erased;
                if (change.newValue) erased.newValue = *change.newValue;
                if (change.oldValue) erased.oldValue = *change.oldValue;
                handler(erased);
            });
        };
        addKey(std::move(key), std::move(entry));
    }

  private:
    struct Key {
        std::function<std::any()> get;
        std::function<NSKeyValueObservation(NSKeyValueObservingOptions, std::function<void(const KeyValueChange&)>)>
            observe;
    };
    struct Target {
        std::weak_ptr<KVOObserver> observer;
        std::string keyPath;
        NSKeyValueObservation observation;
    };

    void addKey(std::string key, Key entry);
    const Key* findKey(const std::string& key) const;

    // The handlers of `observeDeallocation`; shared with their observations, which may outlive the object.
    struct DeallocationHandlers {
        std::mutex mutex;  // guards nextId and handlers
        std::uint64_t nextId = 1;
        std::map<std::uint64_t, std::function<void()>> handlers;
    };

    mutable std::mutex mutex_;  // guards keys_, targets_ and deallocation_
    std::map<std::string, Key> keys_;
    std::vector<Target> targets_;
    mutable std::shared_ptr<DeallocationHandlers> deallocation_;  // made on first use, under `mutex_`
};

}  // namespace foundation
