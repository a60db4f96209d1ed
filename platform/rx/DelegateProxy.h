#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "rx/Disposables.h"

namespace rx {

// The base of a reactive delegate proxy: an object that stands in as the delegate of a `Parent` and forwards
// every call of the `Delegate` interface to a forward delegate, held weakly (or strongly when asked to retain).
//
// A concrete proxy is a small subclass (CRTP: `class SliderProxy : public DelegateProxy<Slider, SliderDelegate,
// SliderProxy>`) that provides
//   static std::shared_ptr<Proxy> create(const std::shared_ptr<Parent>& parent);
//   static std::shared_ptr<Delegate> currentDelegate(Parent& parent);        // reads the parent's delegate
//   static void setCurrentDelegate(Parent& parent, const std::shared_ptr<Delegate>& delegate);
// and implements each requirement of `Delegate` by calling it on `forwardToDelegate()` when there is one.
//
// There is one proxy per parent object; it lives as long as the parent (parents hold delegates weakly, so the
// proxy is kept here, by parent identity, and released once the parent has gone).
template <class Parent, class Delegate, class Proxy>
class DelegateProxy : public Delegate {
  public:
    // The proxy of `object`, made on first use. Makes the proxy the object's delegate; a delegate the object
    // had before becomes the forward delegate (not retained).
    static std::shared_ptr<Proxy> proxy(const std::shared_ptr<Parent>& object) {
        std::shared_ptr<Proxy> found;
        {
            auto& registry = Registry::shared();
            std::lock_guard lock(registry.mutex);
            std::erase_if(registry.proxies, [](const auto& entry) { return entry.first.expired(); });
            auto it = registry.proxies.find(std::weak_ptr<Parent>(object));
            if (it != registry.proxies.end()) {
                found = it->second;
            } else {
                found = Proxy::create(object);
                registry.proxies.emplace(std::weak_ptr<Parent>(object), found);
            }
        }
        std::shared_ptr<Delegate> asDelegate = found;
        auto current = Proxy::currentDelegate(*object);
        if (current != asDelegate) {
            found->setForwardToDelegate(current, false);
            Proxy::setCurrentDelegate(*object, asDelegate);
        }
        return found;
    }

    // Makes `forwardDelegate` the forward delegate of `object`'s proxy. Disposing the result removes it again,
    // unless another forward delegate has been installed since.
    static Disposable installForwardDelegate(const std::shared_ptr<Delegate>& forwardDelegate, bool retainDelegate,
                                             const std::shared_ptr<Parent>& object) {
        auto installed = proxy(object);
        installed->setForwardToDelegate(forwardDelegate, retainDelegate);
        std::weak_ptr<Proxy> weakProxy = installed;
        std::weak_ptr<Delegate> weakForward = forwardDelegate;
        return Disposables::create([weakProxy, weakForward] {
            auto strongProxy = weakProxy.lock();
            if (!strongProxy) return;
            if (strongProxy->forwardToDelegate() == weakForward.lock())
                strongProxy->setForwardToDelegate(nullptr, false);
        });
    }

    std::shared_ptr<Delegate> forwardToDelegate() const {
        std::lock_guard lock(mutex_);
        return strongForward_ ? strongForward_ : weakForward_.lock();
    }

    void setForwardToDelegate(const std::shared_ptr<Delegate>& delegate, bool retainDelegate) {
        std::shared_ptr<Delegate> released;  // let go outside the lock
        std::lock_guard lock(mutex_);
        released = std::exchange(strongForward_, retainDelegate ? delegate : nullptr);
        weakForward_ = delegate;
    }

    std::shared_ptr<Parent> parentObject() const { return parent_.lock(); }

  protected:
    explicit DelegateProxy(const std::shared_ptr<Parent>& parent) : parent_(parent) {}

  private:
    struct Registry {
        std::mutex mutex;  // guards proxies
        std::map<std::weak_ptr<Parent>, std::shared_ptr<Proxy>, std::owner_less<>> proxies;
        static Registry& shared() {
            // Never destroyed: proxies may be looked up while the process exits.
            static auto* registry = new Registry();
            return *registry;
        }
    };

    std::weak_ptr<Parent> parent_;
    mutable std::mutex mutex_;  // guards weakForward_ and strongForward_
    std::weak_ptr<Delegate> weakForward_;
    std::shared_ptr<Delegate> strongForward_;
};

}  // namespace rx
