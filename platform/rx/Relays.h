#pragma once

#include <memory>
#include <utility>

#include "rx/Subjects.h"

namespace rx {

// A subject that only ever carries elements: it never fails and never completes. Safe from any thread.
// A handle: copies are the same relay.
template <class T>
class PublishRelay : public Observable<T> {
  public:
    PublishRelay() : PublishRelay(PublishSubject<T>()) {}

    void accept(T value) const { subject_.onNext(std::move(value)); }
    Observable<T> asObservable() const { return *this; }
    bool hasObservers() const { return subject_.hasObservers(); }

  private:
    explicit PublishRelay(PublishSubject<T> subject) : Observable<T>(subject.asObservable()), subject_(subject) {}

    PublishSubject<T> subject_;
};

// A relay with a current value, which a new subscriber receives at once.
template <class T>
class BehaviorRelay : public Observable<T> {
  public:
    explicit BehaviorRelay(T value) : BehaviorRelay(BehaviorSubject<T>(std::move(value))) {}

    void accept(T value) const { subject_.onNext(std::move(value)); }
    // The current value (a relay cannot fail, so there always is one).
    T value() const { return *subject_.value(); }
    Observable<T> asObservable() const { return *this; }
    bool hasObservers() const { return subject_.hasObservers(); }

  private:
    explicit BehaviorRelay(BehaviorSubject<T> subject) : Observable<T>(subject.asObservable()), subject_(subject) {}

    BehaviorSubject<T> subject_;
};

}  // namespace rx
