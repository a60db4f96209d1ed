#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <utility>

namespace foundation {

// A concrete error type: anything with a human-readable description. It may also say which
// integer-coded domain it bridges to (`domain()`, `code()`), as errors handed to the media framework do.
// The description is checked first: asking whether a wrapper such as std::expected<T, Error> is copyable
// would ask again whether Error converts from it, and never end.
template <class E>
concept ErrorType = requires(const E& e) {
    { e.localizedDescription() } -> std::convertible_to<std::string>;
} && std::copy_constructible<E>;

// The one type-erased error of the kit and its platform. Cheap to copy (shared, immutable payload);
// the concrete error can be read back with `as<T>()`.
class Error {
public:
    // The "not an Error" check comes first so that checking ErrorType never has to consider Error itself.
    template <class E>
        requires(!std::same_as<std::decay_t<E>, Error> && ErrorType<E>)
    Error(E value)  // NOLINT(google-explicit-constructor): errors convert implicitly, as on the platform
        : impl_(std::make_shared<Model<std::decay_t<E>>>(std::move(value))) {}

    // The concrete error, or nullptr when this error holds another type.
    template <class E>
    const E* as() const {
        if (impl_->type() != typeid(E)) return nullptr;
        return static_cast<const E*>(impl_->get());
    }
    template <class E>
    bool is() const {
        return as<E>() != nullptr;
    }

    std::string localizedDescription() const { return impl_->localizedDescription(); }
    // Bridged form: the domain text and integer code of an error object.
    std::string domain() const { return impl_->domain(); }
    int code() const { return impl_->code(); }
    const std::type_info& type() const { return impl_->type(); }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual std::string localizedDescription() const = 0;
        virtual std::string domain() const = 0;
        virtual int code() const = 0;
        virtual const std::type_info& type() const = 0;
        virtual const void* get() const = 0;
    };
    template <class E>
    struct Model final : Concept {
        explicit Model(E v) : value(std::move(v)) {}
        std::string localizedDescription() const override { return value.localizedDescription(); }
        std::string domain() const override {
            if constexpr (requires { { value.domain() } -> std::convertible_to<std::string>; }) {
                return std::string(value.domain());
            } else if constexpr (requires { { value.domain } -> std::convertible_to<std::string>; }) {
                return std::string(value.domain);
            } else {
                return typeid(E).name();
            }
        }
        int code() const override {
            if constexpr (requires { { value.code() } -> std::convertible_to<int>; }) {
                return static_cast<int>(value.code());
            } else if constexpr (requires { { value.code } -> std::convertible_to<int>; }) {
                return static_cast<int>(value.code);
            } else {
                return 0;
            }
        }
        const std::type_info& type() const override { return typeid(E); }
        const void* get() const override { return &value; }
        E value;
    };
    std::shared_ptr<const Concept> impl_;
};

// An integer-coded error object, the bridged form used by the HTTP session and the media framework.
struct NSError {
    std::string domain;
    int code = 0;
    std::string description;
    // The error this one wraps, when there is one.
    std::shared_ptr<const Error> underlying;

    std::string localizedDescription() const {
        if (!description.empty()) return description;
        return "The operation couldn’t be completed. (" + domain + " error " + std::to_string(code) + ".)";
    }
};

}  // namespace foundation
