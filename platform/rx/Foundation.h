#pragma once

// The reactive faces of the foundation: notifications and observable properties as streams.
//
//   rx::Reactive(foundation::NotificationCenter::defaultCenter()).notification("Name")
//   rx::Reactive(player).observe<float>("rate")           // keeps the player alive while subscribed
//   rx::Reactive(item).observeWeakly<Status>("status")    // ends quietly when the item goes

#include <any>
#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "foundation/AnyObject.h"
#include "foundation/KeyValueObserving.h"
#include "foundation/NotificationCenter.h"
#include "rx/Disposables.h"
#include "rx/Observable.h"

namespace rx {

// The reactive face of a foundation object (the platform's `object.rx`). Specialised per kind of object.
template <class Base>
class Reactive;

namespace detail {

// Keeps a (move-only) observation for as long as a subscription lives, and stops it on dispose.
inline Disposable keep(foundation::NSKeyValueObservation observation) {
    auto held = std::make_shared<foundation::NSKeyValueObservation>(std::move(observation));
    return Disposables::create([held] { held->invalidate(); });
}

// The typed value of a change record, or of the property read now when the record carries none (the
// options asked for no new value). A value of another type than asked is "no value".
template <class T>
std::optional<T> cast(const std::any& value) {
    if (const T* typed = std::any_cast<T>(&value)) return *typed;
    return std::nullopt;
}

template <class T, class Object>
std::optional<T> typedValue(const foundation::KeyValueChange& change, const Object& object, const std::string& key) {
    if (change.newValue.has_value()) return cast<T>(change.newValue);
    auto read = object.value(key);
    return read ? cast<T>(*read) : std::nullopt;
}

}  // namespace detail

// NotificationCenter.rx
template <>
class Reactive<foundation::NotificationCenter> {
  public:
    explicit Reactive(foundation::NotificationCenter& center) : center_(&center) {}

    // The notifications named `name` (nullopt: every name) sent by `object` (nil: by anyone), each delivered
    // synchronously on the posting thread. Each subscription registers one block observer with the centre;
    // disposing removes it. Never fails or completes. The sender is held weakly: once it is gone nothing
    // more can match. The centre must outlive the subscriptions (the default centre lives for the process).
    Observable<foundation::Notification> notification(std::optional<foundation::Notification::Name> name,
                                                      const foundation::AnyObject& object = nullptr) const {
        foundation::NotificationCenter* center = center_;
        const bool filtersObject = !object.isNil();
        std::weak_ptr<const void> sender = object.weak();
        return Observable<foundation::Notification>::create(
            [center, name = std::move(name), filtersObject,
             sender](const AnyObserver<foundation::Notification>& observer) -> Disposable {
                foundation::AnyObject filter;
                if (filtersObject) {
                    auto strong = sender.lock();
                    if (!strong) return Disposable();  // the sender is gone: nothing will ever come
                    filter = foundation::AnyObject(std::const_pointer_cast<void>(std::move(strong)));
                }
                auto token = center->addObserver(name, filter, nullptr,
                                                 [observer](const foundation::Notification& n) { observer.onNext(n); });
                return Disposables::create([center, token] { center->removeObserver(token); });
            });
    }

  private:
    foundation::NotificationCenter* center_;
};

Reactive(foundation::NotificationCenter&)->Reactive<foundation::NotificationCenter>;

// The reactive face of an object whose properties are observable by name (NSObject.rx).
template <class Base>
requires std::derived_from<Base, foundation::KVOObservable>
class Reactive<Base> {
  public:
    explicit Reactive(std::shared_ptr<Base> base) : base_(std::move(base)) {}

    // The property registered under `keyPath`, as a `T`: with `initial` its value at once, with `new_` every
    // later setting (equal values included). An element is nothing when the value is not a `T`. With
    // `retainSelf` the subscription keeps the object alive; without, it holds it weakly and the stream ends
    // (completes) when the object goes. A name the object does not have fails the stream with
    // `foundation::KeyValueCodingError`. Values arrive on the thread that sets the property.
    template <class T>
    Observable<std::optional<T>> observe(
        std::string keyPath,
        foundation::NSKeyValueObservingOptions options = foundation::NSKeyValueObservingOptions::new_ |
                                                         foundation::NSKeyValueObservingOptions::initial,
        bool retainSelf = true) const {
        if (!retainSelf) return observeWeakly<T>(std::move(keyPath), options);
        std::shared_ptr<Base> object = base_;
        return Observable<std::optional<T>>::create(
            [object, keyPath, options](const AnyObserver<std::optional<T>>& observer) -> Disposable {
                if (!object) {
                    observer.onCompleted();
                    return Disposable();
                }
                // The handler keeps the object alive until the subscription ends.
                auto observation = object->observe(keyPath, options, [observer, object, keyPath](const auto& change) {
                    observer.onNext(detail::typedValue<T>(change, *object, keyPath));
                });
                if (!observation) {
                    observer.onError(observation.error());
                    return Disposable();
                }
                return detail::keep(std::move(*observation));
            });
    }

    // As `observe` without `retainSelf`: the object is held weakly, and when it goes the stream completes
    // without a further element. Subscribing after it has gone completes at once.
    template <class T>
    Observable<std::optional<T>> observeWeakly(
        std::string keyPath,
        foundation::NSKeyValueObservingOptions options = foundation::NSKeyValueObservingOptions::new_ |
                                                         foundation::NSKeyValueObservingOptions::initial) const {
        std::weak_ptr<Base> weak = base_;
        return Observable<std::optional<T>>::create(
            [weak, keyPath, options](const AnyObserver<std::optional<T>>& observer) -> Disposable {
                auto object = weak.lock();
                if (!object) {
                    observer.onCompleted();
                    return Disposable();
                }
                auto observation = object->observe(keyPath, options, [observer, weak, keyPath](const auto& change) {
                    if (change.newValue.has_value()) {
                        observer.onNext(detail::cast<T>(change.newValue));
                    } else if (auto strong = weak.lock()) {
                        observer.onNext(detail::typedValue<T>(change, *strong, keyPath));
                    }
                });
                if (!observation) {
                    observer.onError(observation.error());
                    return Disposable();
                }
                auto ended = object->observeDeallocation([observer] { observer.onCompleted(); });
                return Disposables::create(detail::keep(std::move(*observation)), detail::keep(std::move(ended)));
            });
    }

    const std::shared_ptr<Base>& base() const { return base_; }

  private:
    std::shared_ptr<Base> base_;
};

template <class Base>
requires std::derived_from<Base, foundation::KVOObservable> Reactive(std::shared_ptr<Base>)
->Reactive<Base>;

}  // namespace rx
