#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "rx/Observable.h"

namespace rx {

namespace detail {

// The shared state of a subject: its observers, its stop event and, for a behaviour subject, its current value.
// Safe from any thread. Observers are called outside the lock, from a snapshot of the list, so an observer may
// subscribe, dispose or emit from inside its handler; a disposed observer is skipped even when it is still in
// a snapshot being delivered.
template <class T>
class SubjectCore : public std::enable_shared_from_this<SubjectCore<T>> {
  public:
    explicit SubjectCore(std::optional<T> initial) : isBehavior_(initial.has_value()), value_(std::move(initial)) {}

    void on(const Event<T>& event) {
        std::shared_ptr<const Entries> targets;
        {
            std::lock_guard lock(mutex_);
            if (stopEvent_) return;
            targets = entries_;
            if (const auto* value = event.element()) {
                if (isBehavior_) value_.emplace(*value);
            } else {
                stopEvent_.emplace(event);
                entries_ = std::make_shared<const Entries>();
            }
        }
        for (const auto& entry : *targets) {
            if (entry.active->load(std::memory_order_acquire)) entry.observer.on(event);
        }
    }

    Disposable subscribe(const AnyObserver<T>& observer) {
        std::unique_lock lock(mutex_);
        if (stopEvent_) {
            auto stop = *stopEvent_;
            lock.unlock();
            observer.on(stop);
            return Disposable();
        }
        auto active = std::make_shared<std::atomic<bool>>(true);
        const auto id = nextId_++;
        auto entries = std::make_shared<Entries>(*entries_);
        entries->push_back(Entry{id, observer, active});
        entries_ = std::move(entries);
        // Sent under the (recursive) lock so that no later value can overtake the current one.
        if (value_) observer.onNext(*value_);
        lock.unlock();
        std::weak_ptr<SubjectCore> weak = this->shared_from_this();
        return Disposables::create([weak, id, active] {
            active->store(false, std::memory_order_release);
            if (auto core = weak.lock()) core->remove(id);
        });
    }

    std::expected<T, foundation::Error> value() const {
        std::lock_guard lock(mutex_);
        if (stopEvent_ && stopEvent_->isError()) return std::unexpected(*stopEvent_->error());
        return *value_;
    }

    bool hasObservers() const {
        std::lock_guard lock(mutex_);
        return !entries_->empty();
    }

  private:
    struct Entry {
        std::uint64_t id;
        AnyObserver<T> observer;
        std::shared_ptr<std::atomic<bool>> active;
    };
    using Entries = std::vector<Entry>;

    void remove(std::uint64_t id) {
        std::shared_ptr<const Entries> old;  // released outside the lock
        std::lock_guard lock(mutex_);
        auto entries = std::make_shared<Entries>();
        entries->reserve(entries_->size());
        for (const auto& entry : *entries_) {
            if (entry.id != id) entries->push_back(entry);
        }
        old = std::exchange(entries_, std::move(entries));
    }

    const bool isBehavior_;
    mutable std::recursive_mutex mutex_;  // guards everything below
    std::shared_ptr<const Entries> entries_ = std::make_shared<const Entries>();
    std::optional<Event<T>> stopEvent_;
    std::optional<T> value_;
    std::uint64_t nextId_ = 1;
};

template <class T>
Observable<T> subjectObservable(const std::shared_ptr<SubjectCore<T>>& core) {
    return ObservableAccess::make<T>([core](const AnyObserver<T>& observer) { return core->subscribe(observer); });
}

}  // namespace detail

// Sends each event to the observers subscribed at that moment. After an error or completion it holds that
// event and sends only it to later subscribers. A handle: copies are the same subject.
template <class T>
class PublishSubject : public Observable<T> {
  public:
    PublishSubject() : PublishSubject(std::make_shared<detail::SubjectCore<T>>(std::nullopt)) {}

    void on(const Event<T>& event) const { core_->on(event); }
    void onNext(T value) const { core_->on(Event<T>::next(std::move(value))); }
    void onError(foundation::Error error) const { core_->on(Event<T>::error(std::move(error))); }
    void onCompleted() const { core_->on(Event<T>::completed()); }

    AnyObserver<T> asObserver() const {
        return AnyObserver<T>([core = core_](const Event<T>& event) { core->on(event); });
    }
    Observable<T> asObservable() const { return *this; }
    bool hasObservers() const { return core_->hasObservers(); }

  private:
    explicit PublishSubject(std::shared_ptr<detail::SubjectCore<T>> core)
        : Observable<T>(detail::subjectObservable(core)), core_(std::move(core)) {}

    std::shared_ptr<detail::SubjectCore<T>> core_;
};

// Holds a current value: a new subscriber receives it at once, then every later event.
template <class T>
class BehaviorSubject : public Observable<T> {
  public:
    explicit BehaviorSubject(T value) : BehaviorSubject(std::make_shared<detail::SubjectCore<T>>(std::move(value))) {}

    void on(const Event<T>& event) const { core_->on(event); }
    void onNext(T value) const { core_->on(Event<T>::next(std::move(value))); }
    void onError(foundation::Error error) const { core_->on(Event<T>::error(std::move(error))); }
    void onCompleted() const { core_->on(Event<T>::completed()); }

    // The current value; the error when the subject has failed.
    std::expected<T, foundation::Error> value() const { return core_->value(); }

    AnyObserver<T> asObserver() const {
        return AnyObserver<T>([core = core_](const Event<T>& event) { core->on(event); });
    }
    Observable<T> asObservable() const { return *this; }
    bool hasObservers() const { return core_->hasObservers(); }

  private:
    explicit BehaviorSubject(std::shared_ptr<detail::SubjectCore<T>> core)
        : Observable<T>(detail::subjectObservable(core)), core_(std::move(core)) {}

    std::shared_ptr<detail::SubjectCore<T>> core_;
};

}  // namespace rx
