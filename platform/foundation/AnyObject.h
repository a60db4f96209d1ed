#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <typeinfo>

namespace foundation {

// A reference to any object held by `std::shared_ptr`, or nil: the sender of a notification, the
// observer of a registration. Identity is the object's ownership: a pointer to the object and a pointer
// to one of its bases (or a `weak_ptr` to it) are the same object.
class AnyObject {
  public:
    AnyObject() = default;
    AnyObject(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): nil converts implicitly
    template <class T>
    AnyObject(std::shared_ptr<T> object)  // NOLINT(google-explicit-constructor)
        : type_(object ? &typeid(std::remove_cv_t<T>) : nullptr),
          object_(std::const_pointer_cast<void>(std::static_pointer_cast<const void>(std::move(object)))) {}

    bool isNil() const { return object_ == nullptr; }
    explicit operator bool() const { return object_ != nullptr; }

    // The object as the type it was given as, or nullptr for nil or another type.
    template <class T>
    std::shared_ptr<T> as() const {
        if (!object_ || *type_ != typeid(std::remove_cv_t<T>)) return nullptr;
        return std::static_pointer_cast<T>(object_);
    }

    // True when both are the same object (two nils are identical).
    bool isIdenticalTo(const AnyObject& other) const { return sameOwner(object_, other.object_); }
    // True when `weak` refers, or referred, to this object.
    bool isIdenticalTo(const std::weak_ptr<const void>& weak) const {
        return object_ != nullptr && sameOwner(weak, object_);
    }

    std::weak_ptr<const void> weak() const { return object_; }
    const std::shared_ptr<void>& pointer() const { return object_; }

  private:
    template <class A, class B>
    static bool sameOwner(const A& a, const B& b) {
        return !a.owner_before(b) && !b.owner_before(a);
    }

    const std::type_info* type_ = nullptr;
    std::shared_ptr<void> object_;
};

}  // namespace foundation
