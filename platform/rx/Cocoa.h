#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "rx/Observable.h"
#include "rx/Schedulers.h"

namespace rx {

namespace detail {

// Subscribes to `source` on the main thread: at once when already there, otherwise on the next turn of the
// main run loop.
template <class T>
Observable<T> subscribeOnMain(Observable<T> source) {
    return Observable<T>::create([source](const AnyObserver<T>& observer) -> Disposable {
        if (dispatch::DispatchQueue::isMainThread()) return ObservableAccess::subscribeRaw(source, observer);
        SerialDisposable subscription;
        auto scheduled = MainScheduler::asyncInstance()->schedule([source, observer, subscription] {
            subscription.setDisposable(ObservableAccess::subscribeRaw(source, observer));
        });
        return Disposables::create(scheduled, subscription);
    });
}

}  // namespace detail

// A stream of user-interface events: subscribed on the main thread, its elements come on the main thread, and
// it never fails. Operators on it give plain observables.
template <class T>
class ControlEvent : public Observable<T> {
  public:
    explicit ControlEvent(Observable<T> events) : Observable<T>(detail::subscribeOnMain(std::move(events))) {}

    ControlEvent asControlEvent() const { return *this; }
};

// A user-interface property: its values as a stream (subscribed on the main thread) and a sink that sets it.
template <class T>
class ControlProperty : public Observable<T> {
  public:
    ControlProperty(Observable<T> values, AnyObserver<T> valueSink)
        : Observable<T>(detail::subscribeOnMain(std::move(values))), valueSink_(std::move(valueSink)) {}
    template <class O>
    requires(ObserverConvertible<O, T> && !std::same_as<O, AnyObserver<T>>)
        ControlProperty(Observable<T> values, const O& valueSink)
        : ControlProperty(std::move(values), valueSink.asObserver()) {}

    void on(const Event<T>& event) const { valueSink_.on(event); }
    void onNext(T value) const { valueSink_.onNext(std::move(value)); }

    AnyObserver<T> asObserver() const { return valueSink_; }
    ControlEvent<T> asControlEvent() const { return ControlEvent<T>(*this); }

  private:
    AnyObserver<T> valueSink_;
};

// An observer that applies each element to a target it holds weakly, on a scheduler (the main scheduler unless
// told otherwise). Once the target is gone, elements do nothing. A binding cannot fail: an error is reported on
// the standard error stream and otherwise ignored; completion is ignored.
template <class T>
class Binder {
  public:
    using Element = T;

    template <class Target>
    Binder(const std::shared_ptr<Target>& target, std::type_identity_t<std::function<void(Target&, const T&)>> binding,
           std::shared_ptr<ImmediateSchedulerType> scheduler = MainScheduler::instance()) {
        std::weak_ptr<Target> weakTarget = target;
        observer_ = AnyObserver<T>([weakTarget, binding = std::move(binding), scheduler](const Event<T>& event) {
            if (const auto* value = event.element()) {
                scheduler->schedule([weakTarget, binding, value = *value] {
                    if (auto strong = weakTarget.lock()) binding(*strong, value);
                });
            } else if (const auto* error = event.error()) {
                detail::reportBindingError(*error);
            }
        });
    }

    void on(const Event<T>& event) const { observer_.on(event); }
    void onNext(T value) const { observer_.onNext(std::move(value)); }
    AnyObserver<T> asObserver() const { return observer_; }

  private:
    AnyObserver<T> observer_;
};

}  // namespace rx
