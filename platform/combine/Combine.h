#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace combine {

namespace Subscribers {
// How a publisher ends. Publishers here never fail, so finishing is the only ending.
enum class Completion { finished };
}  // namespace Subscribers

// A subscription handle that cancels when `cancel()` is called or when the last copy of it goes away.
// Copies share one cancellation (as references to one object); ordering and equality are by that
// identity, so cancellables can be kept in a `std::set` or a `std::vector`:
//
//     subject.sink([](int v) { ... }).store(cancellables);
class AnyCancellable {
  public:
    explicit AnyCancellable(std::function<void()> cancel);

    // Runs the cancel action once, whichever copy calls it; further calls do nothing.
    void cancel() const;
    bool isCancelled() const;

    // Keeps this cancellable in `set` (or `vector`): it then lives, and its subscription with it,
    // as long as the collection holds it.
    void store(std::set<AnyCancellable>& set) const;
    void store(std::vector<AnyCancellable>& vector) const;

    friend bool operator==(const AnyCancellable& a, const AnyCancellable& b) { return a.box_ == b.box_; }
    friend bool operator<(const AnyCancellable& a, const AnyCancellable& b) { return a.box_ < b.box_; }

  private:
    struct Box {
        explicit Box(std::function<void()> action) : action(std::move(action)) {}
        ~Box();
        void run();
        std::function<void()> action;  // taken by whichever run comes first
        std::atomic<bool> cancelled{false};
    };
    std::shared_ptr<Box> box_;
};

namespace detail {

// One subscriber of a subject. Delivery checks `active` right before each call, so a subscriber
// cancelled during a delivery (by itself or by an earlier subscriber) receives nothing more.
template <class Output>
struct Subscription {
    std::function<void(const Output&)> receiveValue;
    std::function<void(Subscribers::Completion)> receiveCompletion;
    std::atomic<bool> active{true};
};

// The shared state of a subject: its subscribers in subscription order and whether it has finished.
template <class Output>
class SubjectCore : public std::enable_shared_from_this<SubjectCore<Output>> {
  public:
    using Sub = Subscription<Output>;

    AnyCancellable subscribe(std::function<void(const Output&)> receiveValue,
                             std::function<void(Subscribers::Completion)> receiveCompletion) {
        auto sub = std::make_shared<Sub>();
        sub->receiveValue = std::move(receiveValue);
        sub->receiveCompletion = std::move(receiveCompletion);
        bool alreadyFinished = false;
        {
            std::lock_guard lock(mutex_);
            if (completed_) {
                alreadyFinished = true;
            } else {
                subscribers_.push_back(sub);
            }
        }
        if (alreadyFinished) {
            sub->active = false;
            if (sub->receiveCompletion) sub->receiveCompletion(Subscribers::Completion::finished);
            return AnyCancellable([] {});
        }
        std::weak_ptr<SubjectCore> weakCore = this->weak_from_this();
        std::weak_ptr<Sub> weakSub = sub;
        return AnyCancellable([weakCore, weakSub] {
            auto s = weakSub.lock();
            if (!s) return;
            s->active = false;
            if (auto core = weakCore.lock()) core->remove(s);
        });
    }

    void send(const Output& value) {
        for (const auto& sub : snapshot()) {
            if (sub->active.load() && sub->receiveValue) sub->receiveValue(value);
        }
    }

    void send(Subscribers::Completion completion) {
        std::vector<std::shared_ptr<Sub>> subs;
        {
            std::lock_guard lock(mutex_);
            if (completed_) return;
            completed_ = true;
            subs.swap(subscribers_);
        }
        for (const auto& sub : subs) {
            // Exchange, so that a concurrent cancel and this completion cannot both win.
            if (sub->active.exchange(false) && sub->receiveCompletion) sub->receiveCompletion(completion);
        }
    }

    std::size_t subscriberCount() const {
        std::lock_guard lock(mutex_);
        return subscribers_.size();
    }

  private:
    std::vector<std::shared_ptr<Sub>> snapshot() const {
        std::lock_guard lock(mutex_);
        return subscribers_;
    }
    void remove(const std::shared_ptr<Sub>& sub) {
        std::shared_ptr<Sub> released;  // dropped after the lock: its closures may own anything
        std::lock_guard lock(mutex_);
        for (auto it = subscribers_.begin(); it != subscribers_.end(); ++it) {
            if (*it == sub) {
                released = std::move(*it);
                subscribers_.erase(it);
                break;
            }
        }
    }

    mutable std::mutex mutex_;  // guards subscribers_ and completed_
    std::vector<std::shared_ptr<Sub>> subscribers_;
    bool completed_ = false;
};

}  // namespace detail

// A type-erased publisher of `Output` values that never fails.
template <class Output>
class AnyPublisher {
  public:
    using SubscribeFunction =
        std::function<AnyCancellable(std::function<void(const Output&)>, std::function<void(Subscribers::Completion)>)>;

    explicit AnyPublisher(SubscribeFunction subscribe) : subscribe_(std::move(subscribe)) {}

    // Subscribes; the subscription lasts until the returned cancellable is cancelled or released.
    [[nodiscard]] AnyCancellable sink(std::function<void(const Output&)> receiveValue) const {
        return subscribe_(std::move(receiveValue), nullptr);
    }
    [[nodiscard]] AnyCancellable sink(std::function<void(Subscribers::Completion)> receiveCompletion,
                                      std::function<void(const Output&)> receiveValue) const {
        return subscribe_(std::move(receiveValue), std::move(receiveCompletion));
    }

    AnyPublisher eraseToAnyPublisher() const { return *this; }

  private:
    SubscribeFunction subscribe_;
};

// A subject that hands every value it is sent to its current subscribers, synchronously on the
// sending thread, in subscription order. A subscriber added during a delivery receives the next
// value, not the one being delivered. After `send(Subscribers::Completion::finished)` further values
// are ignored and a new subscriber is told at once that the subject has finished.
//
// Copies share one subject (the object is used by reference, as on the platform). Sending from several
// threads is safe; delivery to one subscriber is not serialised across threads, and a cancellation
// from another thread does not wait for a delivery already under way there.
template <class Output>
class PassthroughSubject {
  public:
    PassthroughSubject() : core_(std::make_shared<detail::SubjectCore<Output>>()) {}

    void send(const Output& value) const { core_->send(value); }
    void send(Subscribers::Completion completion) const { core_->send(completion); }

    [[nodiscard]] AnyCancellable sink(std::function<void(const Output&)> receiveValue) const {
        return core_->subscribe(std::move(receiveValue), nullptr);
    }
    [[nodiscard]] AnyCancellable sink(std::function<void(Subscribers::Completion)> receiveCompletion,
                                      std::function<void(const Output&)> receiveValue) const {
        return core_->subscribe(std::move(receiveValue), std::move(receiveCompletion));
    }

    // A publisher over this same subject: every one made delivers what this subject is sent.
    AnyPublisher<Output> eraseToAnyPublisher() const {
        auto core = core_;
        return AnyPublisher<Output>(
            [core](std::function<void(const Output&)> value, std::function<void(Subscribers::Completion)> done) {
                return core->subscribe(std::move(value), std::move(done));
            });
    }

    // Subscribers not yet cancelled (for tests and diagnostics).
    std::size_t subscriberCount() const { return core_->subscriberCount(); }

  private:
    std::shared_ptr<detail::SubjectCore<Output>> core_;
};

}  // namespace combine
