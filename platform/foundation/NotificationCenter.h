#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/AnyObject.h"

namespace dispatch {
class DispatchQueue;
}

namespace foundation {

// A broadcast message: its name, the object that sent it (nil when none) and extra information.
struct Notification {
    using Name = std::string;

    Name name;
    AnyObject object;
    std::map<std::string, std::any> userInfo;
};

using NotificationName = Notification::Name;

// The registration handed back by a block-based `addObserver`. It is the observer object of that
// registration: pass it to `removeObserver` to stop it.
//
// As on the platform, releasing the token does NOT end the registration: the centre keeps the
// registration (and its block) until `removeObserver(token)`. Keep the token for as long as you observe.
class NotificationObserverToken {
  public:
    explicit NotificationObserverToken(std::uint64_t id) : id_(id) {}
    std::uint64_t id() const { return id_; }

  private:
    std::uint64_t id_;
};

// Delivers notifications to the observers registered for them.
//
// A registration matches a post when its name is the post's name (no name: every name) and its object
// is the post's sender (nil: every sender; senders are told apart by identity, never by value).
// Observers run in the order they registered: synchronously on the posting thread when registered
// without a queue, otherwise as a block posted to that queue (e.g. `dispatch::DispatchQueue::main()`).
//
// Every member is safe to call from any thread and from inside an observer. Once `removeObserver`
// returns, the removed registration is not called again: not for a post under way on this thread, nor
// for a delivery still waiting in a queue. (A delivery that another thread is running at that moment
// finishes.)
class NotificationCenter {
  public:
    using Block = std::function<void(const Notification&)>;

    // The process-wide centre (the platform's `default`, a C++ keyword).
    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Block-based registration. `name`: nullopt for every name; `object`: nil for every sender;
    // `queue`: nullptr to run the block synchronously on the posting thread.
    [[nodiscard]] std::shared_ptr<NotificationObserverToken> addObserver(std::optional<Notification::Name> name,
                                                                         AnyObject object,
                                                                         dispatch::DispatchQueue* queue, Block block);

    // Registration on behalf of `observer` (the platform's target–selector form): `selector` runs
    // synchronously on the posting thread. The centre holds `observer` weakly and skips (and forgets)
    // the registration once the observer is gone.
    void addObserver(const AnyObject& observer, Block selector, std::optional<Notification::Name> name,
                     AnyObject object);

    // Removes every registration of `observer` (an observer object, or a token from the block form).
    void removeObserver(const AnyObject& observer);
    // Removes the registrations of `observer` that match `name` (nullopt: any) and `object` (nil: any).
    void removeObserver(const AnyObject& observer, std::optional<Notification::Name> name, const AnyObject& object);

    void post(const Notification& notification);
    void post(Notification::Name name, AnyObject object = nullptr, std::map<std::string, std::any> userInfo = {});

    // Registrations still in force (for tests and diagnostics).
    std::size_t observerCount() const;

  private:
    struct Registration;
    std::vector<std::shared_ptr<Registration>> matching(const Notification& notification);
    void removeWhere(const std::function<bool(const Registration&)>& predicate);

    mutable std::mutex mutex_;  // guards registrations_ and nextId_
    std::vector<std::shared_ptr<Registration>> registrations_;
    std::uint64_t nextId_ = 1;
};

}  // namespace foundation
