#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "foundation/KeyValueObserving.h"
#include "rx/Disposables.h"
#include "rx/Observable.h"

namespace lumora {

namespace detail {

template <class Object, class KeyPath>
using ObservedProperty = std::remove_cvref_t<std::invoke_result_t<const KeyPath&, const Object&>>;

inline rx::Disposable keepObservation(foundation::NSKeyValueObservation observation) {
    auto held = std::make_shared<foundation::NSKeyValueObservation>(std::move(observation));
    return rx::Disposables::create([held] { held->invalidate(); });
}

}  // namespace detail

// A stream of the value of one observable property of `object`, named by its key path: the accessor of the
// property (`&ZuPlayer::currentTimeProperty`).
//
// Deferred: nothing is observed until a subscription starts one observation of the property with `options`.
// At every notification (with `initial`, also once at once) the stream emits the property's value read from
// the object then, not the change record's. The object is held weakly: the stream never keeps it alive, a
// subscription made after it has gone completes at once, and, for objects observable by name
// (`foundation::KVOObservable`), a running subscription completes when the object goes. It never fails.
// Disposing the subscription stops the observation. Values arrive on the thread that sets the property.
template <class Object, class KeyPath>
requires std::invocable<const KeyPath&, const Object&>
auto observeValue(const std::shared_ptr<Object>& object, KeyPath keyPath,
                  foundation::NSKeyValueObservingOptions options)
    -> rx::Observable<typename detail::ObservedProperty<Object, KeyPath>::ValueType> {
    using Value = typename detail::ObservedProperty<Object, KeyPath>::ValueType;
    std::weak_ptr<Object> weak = object;
    return rx::Observable<Value>::create(
        [weak, keyPath, options](const rx::AnyObserver<Value>& observer) -> rx::Disposable {
            auto strong = weak.lock();
            if (!strong) {
                observer.onCompleted();
                return rx::Disposable();
            }
            rx::CompositeDisposable subscription;
            if constexpr (std::derived_from<Object, foundation::KVOObservable>) {
                subscription.insert(
                    detail::keepObservation(strong->observeDeallocation([observer] { observer.onCompleted(); })));
            }
            subscription.insert(detail::keepObservation(
                std::invoke(keyPath, *strong).observe(options, [weak, keyPath, observer](const auto&) {
                    if (auto current = weak.lock()) observer.onNext(std::invoke(keyPath, *current).value());
                })));
            return subscription;
        });
}

}  // namespace lumora
