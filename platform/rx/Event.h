#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <variant>

#include "foundation/Error.h"

namespace rx {

// The element of a stream that carries no value (an observable of "nothing but the fact").
struct Unit {
    friend bool operator==(Unit, Unit) { return true; }
};
using Void = Unit;

// Errors raised by the library itself.
class RxError {
  public:
    enum class Code { unknown, noElements, argumentOutOfRange };

    static RxError unknown() { return RxError(Code::unknown, ""); }
    // A sequence that had to give an element completed without one.
    static RxError noElements() { return RxError(Code::noElements, ""); }
    static RxError argumentOutOfRange(std::string detail) {
        return RxError(Code::argumentOutOfRange, std::move(detail));
    }

    Code code() const { return code_; }
    std::string domain() const { return "rx.RxError"; }
    std::string localizedDescription() const {
        switch (code_) {
            case Code::unknown:
                return "Unknown error occurred.";
            case Code::noElements:
                return "Sequence doesn't contain any elements.";
            case Code::argumentOutOfRange:
                return "Argument out of range: " + detail_;
        }
        return detail_;
    }

  private:
    RxError(Code code, std::string detail) : code_(code), detail_(std::move(detail)) {}
    Code code_;
    std::string detail_;
};

// One thing a stream says: an element, an error that ends it, or its completion.
template <class T>
class Event {
  public:
    using Element = T;

    static Event next(T value) { return Event(std::in_place_index<0>, std::move(value)); }
    static Event error(foundation::Error error) { return Event(std::in_place_index<1>, std::move(error)); }
    static Event completed() { return Event(std::in_place_index<2>, Completed{}); }

    bool isNext() const { return value_.index() == 0; }
    bool isError() const { return value_.index() == 1; }
    bool isCompleted() const { return value_.index() == 2; }
    // An error or a completion: nothing follows it.
    bool isStopEvent() const { return !isNext(); }

    // The element of a next event, otherwise null.
    const T* element() const { return std::get_if<0>(&value_); }
    // The error of an error event, otherwise null.
    const foundation::Error* error() const { return std::get_if<1>(&value_); }

  private:
    struct Completed {};
    template <std::size_t I, class V>
    Event(std::in_place_index_t<I> index, V&& v) : value_(index, std::forward<V>(v)) {}

    std::variant<T, foundation::Error, Completed> value_;
};

// Receives the events of a stream. Copies share one handler.
template <class T>
class AnyObserver {
  public:
    using Element = T;
    using Handler = std::function<void(const Event<T>&)>;

    AnyObserver() = default;
    explicit AnyObserver(Handler handler) : handler_(std::make_shared<const Handler>(std::move(handler))) {}

    void on(const Event<T>& event) const {
        if (handler_ && *handler_) (*handler_)(event);
    }
    void onNext(T value) const { on(Event<T>::next(std::move(value))); }
    void onError(foundation::Error error) const { on(Event<T>::error(std::move(error))); }
    void onCompleted() const { on(Event<T>::completed()); }

    AnyObserver asObserver() const { return *this; }
    explicit operator bool() const { return handler_ != nullptr; }

  private:
    std::shared_ptr<const Handler> handler_;
};

template <class T>
using Observer = AnyObserver<T>;

}  // namespace rx
