#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace rx {

class DisposeBag;

// A handle on a resource that can be released once: a subscription, a scheduled action, a timer.
// Copies share the resource; disposing through any copy disposes it for all. A default-made handle
// holds nothing and does nothing.
class Disposable {
  public:
    // What a disposable resource does. Implementations make `dispose()` idempotent and callable from any thread.
    class Impl {
      public:
        virtual ~Impl() = default;
        virtual void dispose() = 0;
        virtual bool isDisposed() const = 0;
    };

    Disposable() = default;
    explicit Disposable(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

    void dispose() const {
        if (impl_) impl_->dispose();
    }
    // False for an empty handle, which has nothing to release.
    bool isDisposed() const { return impl_ && impl_->isDisposed(); }

    // Hands the subscription to `bag`, which disposes it when the bag goes.
    void disposed(DisposeBag& bag) const;

    bool operator==(const Disposable& other) const { return impl_ == other.impl_; }

  protected:
    std::shared_ptr<Impl> impl_;
};

namespace detail {

// Runs an action once, on the first dispose.
class ActionDisposable final : public Disposable::Impl {
  public:
    explicit ActionDisposable(std::function<void()> action) : action_(std::move(action)) {}
    void dispose() override {
        std::function<void()> action;
        {
            std::lock_guard lock(mutex_);
            if (disposed_.exchange(true)) return;
            action.swap(action_);
        }
        if (action) action();
    }
    bool isDisposed() const override { return disposed_.load(); }

  private:
    std::mutex mutex_;  // guards action_, taken by the dispose that sets disposed_
    std::atomic<bool> disposed_{false};
    std::function<void()> action_;
};

// Remembers that it was disposed, nothing more: a cancellation flag shared with scheduled work.
class FlagDisposable final : public Disposable::Impl {
  public:
    void dispose() override { disposed_.store(true); }
    bool isDisposed() const override { return disposed_.load(); }

  private:
    std::atomic<bool> disposed_{false};
};

class SerialImpl final : public Disposable::Impl {
  public:
    void set(Disposable next) {
        Disposable previous;
        {
            std::lock_guard lock(mutex_);
            if (!disposed_) {
                previous = std::exchange(current_, std::move(next));
                next = Disposable();
            }
        }
        // Disposed outside the lock: disposing may run arbitrary clean-up that touches this disposable again.
        previous.dispose();
        next.dispose();
    }
    Disposable get() const {
        std::lock_guard lock(mutex_);
        return current_;
    }
    void dispose() override {
        Disposable current;
        {
            std::lock_guard lock(mutex_);
            if (disposed_) return;
            disposed_ = true;
            current = std::exchange(current_, Disposable());
        }
        current.dispose();
    }
    bool isDisposed() const override {
        std::lock_guard lock(mutex_);
        return disposed_;
    }

  private:
    mutable std::mutex mutex_;  // guards disposed_ and current_
    bool disposed_ = false;
    Disposable current_;
};

class CompositeImpl final : public Disposable::Impl {
  public:
    // Returns 0 (and disposes `d` at once) when the composite is already disposed.
    std::uint64_t insert(Disposable d) {
        {
            std::lock_guard lock(mutex_);
            if (!disposed_) {
                const auto key = nextKey_++;
                items_.emplace(key, std::move(d));
                return key;
            }
        }
        d.dispose();
        return 0;
    }
    void remove(std::uint64_t key) {
        Disposable removed;
        {
            std::lock_guard lock(mutex_);
            auto it = items_.find(key);
            if (it == items_.end()) return;
            removed = std::move(it->second);
            items_.erase(it);
        }
        removed.dispose();
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }
    void dispose() override {
        std::map<std::uint64_t, Disposable> items;
        {
            std::lock_guard lock(mutex_);
            if (disposed_) return;
            disposed_ = true;
            items.swap(items_);
        }
        for (auto& [key, d] : items) d.dispose();
    }
    bool isDisposed() const override {
        std::lock_guard lock(mutex_);
        return disposed_;
    }

  private:
    mutable std::mutex mutex_;  // guards disposed_, nextKey_ and items_
    bool disposed_ = false;
    std::uint64_t nextKey_ = 1;
    std::map<std::uint64_t, Disposable> items_;
};

}  // namespace detail

// Holds one disposable at a time: setting a new one disposes the one before. Once the serial disposable
// itself is disposed, every disposable set afterwards is disposed at once.
class SerialDisposable : public Disposable {
  public:
    SerialDisposable() : Disposable(std::make_shared<detail::SerialImpl>()) {}

    Disposable disposable() const { return impl().get(); }
    void setDisposable(Disposable d) const { impl().set(std::move(d)); }

  private:
    detail::SerialImpl& impl() const { return static_cast<detail::SerialImpl&>(*impl_); }
};

// A group of disposables disposed together. Removing one by its key disposes it.
class CompositeDisposable : public Disposable {
  public:
    using Key = std::uint64_t;

    CompositeDisposable() : Disposable(std::make_shared<detail::CompositeImpl>()) {}

    // The key to remove `d` with; 0 when the group was already disposed (then `d` is disposed at once).
    Key insert(Disposable d) const { return impl().insert(std::move(d)); }
    void remove(Key key) const { impl().remove(key); }
    std::size_t count() const { return impl().count(); }

  private:
    detail::CompositeImpl& impl() const { return static_cast<detail::CompositeImpl&>(*impl_); }
};

struct Disposables {
    // A disposable with nothing to release.
    static Disposable create() { return Disposable(); }
    // Runs `action` on the first dispose, from whichever thread disposes.
    static Disposable create(std::function<void()> action) {
        return Disposable(std::make_shared<detail::ActionDisposable>(std::move(action)));
    }
    static Disposable create(Disposable first, Disposable second) {
        CompositeDisposable group;
        group.insert(std::move(first));
        group.insert(std::move(second));
        return group;
    }
};

// Owns subscriptions and disposes them, in the order they were added, when the bag is destroyed or replaced
// (`bag = DisposeBag()` ends everything the old bag held). Safe to fill from any thread.
class DisposeBag {
  public:
    DisposeBag() = default;
    ~DisposeBag() { disposeAll(); }
    DisposeBag(const DisposeBag&) = delete;
    DisposeBag& operator=(const DisposeBag&) = delete;
    DisposeBag(DisposeBag&& other) noexcept {
        std::lock_guard lock(other.mutex_);
        items_.swap(other.items_);
    }
    DisposeBag& operator=(DisposeBag&& other) noexcept {
        if (this == &other) return *this;
        std::vector<Disposable> taken;
        {
            std::lock_guard lock(other.mutex_);
            taken.swap(other.items_);
        }
        std::vector<Disposable> old;
        {
            std::lock_guard lock(mutex_);
            old.swap(items_);
            items_ = std::move(taken);
        }
        for (auto& d : old) d.dispose();
        return *this;
    }

    // Subscriptions that have already ended (completed, failed or disposed elsewhere) are let go as the bag
    // fills, so a bag that outlives many short subscriptions (a request per tick) holds only the live ones.
    // Pruning runs when the bag has doubled since the last one: amortised constant work per insert.
    // The ended ones are released after unlocking: what they hold may, as it goes, use this bag again.
    void insert(Disposable d) {
        std::vector<Disposable> ended;
        {
            std::lock_guard lock(mutex_);
            if (items_.size() >= pruneAt_) {
                const auto live = std::stable_partition(items_.begin(), items_.end(),
                                                        [](const Disposable& item) { return !item.isDisposed(); });
                ended.assign(std::make_move_iterator(live), std::make_move_iterator(items_.end()));
                items_.erase(live, items_.end());
                pruneAt_ = std::max<std::size_t>(kFirstPrune, 2 * items_.size());
            }
            items_.push_back(std::move(d));
        }
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

  private:
    void disposeAll() {
        std::vector<Disposable> items;
        {
            std::lock_guard lock(mutex_);
            items.swap(items_);
        }
        for (auto& d : items) d.dispose();
    }

    static constexpr std::size_t kFirstPrune = 16;

    mutable std::mutex mutex_;  // guards items_ and pruneAt_
    std::vector<Disposable> items_;
    std::size_t pruneAt_ = kFirstPrune;
};

inline void Disposable::disposed(DisposeBag& bag) const {
    bag.insert(*this);
}

// A dispose bag that a reference type owns for its whole life (a view's `rx.disposeBag`): every
// subscription put in it ends when the object goes, or when the bag is replaced.
class HasDisposeBag {
  public:
    DisposeBag& disposeBag() { return disposeBag_; }
    void setDisposeBag(DisposeBag bag) { disposeBag_ = std::move(bag); }

  protected:
    HasDisposeBag() = default;
    ~HasDisposeBag() = default;

  private:
    DisposeBag disposeBag_;
};

}  // namespace rx
