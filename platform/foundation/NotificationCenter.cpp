#include "foundation/NotificationCenter.h"

#include <atomic>

#include "dispatch/DispatchQueue.h"

namespace foundation {

struct NotificationCenter::Registration {
    std::uint64_t id = 0;
    std::optional<Notification::Name> name;
    // The sender to hear from; held weakly (the centre never keeps a sender alive). None: every sender.
    bool filtersObject = false;
    std::weak_ptr<const void> object;
    // Who registered: the token of the block form, or the observer object of the target form.
    std::weak_ptr<const void> observer;
    // The target form holds its observer weakly and is skipped once it is gone.
    bool needsLiveObserver = false;
    dispatch::DispatchQueue* queue = nullptr;
    Block block;
    std::atomic<bool> active{true};

    bool matches(const Notification& n) const {
        if (name && *name != n.name) return false;
        return !filtersObject || n.object.isIdenticalTo(object);
    }
    void setObject(const AnyObject& sender) {
        filtersObject = !sender.isNil();
        object = sender.weak();
    }
};

namespace {

bool sameOwner(const std::weak_ptr<const void>& a, const AnyObject& b) {
    return !b.isNil() && b.isIdenticalTo(a);
}

}  // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: observers may still post or unregister while the process exits.
    static NotificationCenter* const center = new NotificationCenter();
    return *center;
}

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter() {
    for (auto& registration : registrations_) registration->active = false;
}

std::shared_ptr<NotificationObserverToken> NotificationCenter::addObserver(std::optional<Notification::Name> name,
                                                                           AnyObject object,
                                                                           dispatch::DispatchQueue* queue,
                                                                           Block block) {
    auto registration = std::make_shared<Registration>();
    registration->name = std::move(name);
    registration->setObject(object);
    registration->queue = queue;
    registration->block = std::move(block);
    std::lock_guard lock(mutex_);
    registration->id = nextId_++;
    auto token = std::make_shared<NotificationObserverToken>(registration->id);
    registration->observer = token;
    registrations_.push_back(std::move(registration));
    return token;
}

void NotificationCenter::addObserver(const AnyObject& observer, Block selector, std::optional<Notification::Name> name,
                                     AnyObject object) {
    if (observer.isNil()) return;  // nothing could ever remove it, and nothing would receive it
    auto registration = std::make_shared<Registration>();
    registration->name = std::move(name);
    registration->setObject(object);
    registration->observer = observer.weak();
    registration->needsLiveObserver = true;
    registration->block = std::move(selector);
    std::lock_guard lock(mutex_);
    registration->id = nextId_++;
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const AnyObject& observer) {
    removeWhere([&](const Registration& r) { return sameOwner(r.observer, observer); });
}

void NotificationCenter::removeObserver(const AnyObject& observer, std::optional<Notification::Name> name,
                                        const AnyObject& object) {
    removeWhere([&](const Registration& r) {
        if (!sameOwner(r.observer, observer)) return false;
        if (name && (!r.name || *r.name != *name)) return false;
        return object.isNil() || (r.filtersObject && object.isIdenticalTo(r.object));
    });
}

void NotificationCenter::removeWhere(const std::function<bool(const Registration&)>& predicate) {
    // Registrations are released after the lock: their blocks may own objects whose destruction
    // comes back to this centre.
    std::vector<std::shared_ptr<Registration>> removed;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(registrations_, [&](std::shared_ptr<Registration>& r) {
            if (!predicate(*r)) return false;
            r->active = false;
            removed.push_back(std::move(r));
            return true;
        });
    }
}

std::vector<std::shared_ptr<NotificationCenter::Registration>> NotificationCenter::matching(
    const Notification& notification) {
    std::vector<std::shared_ptr<Registration>> found;
    std::vector<std::shared_ptr<Registration>> gone;
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](std::shared_ptr<Registration>& r) {
        if (r->needsLiveObserver && r->observer.expired()) {
            r->active = false;
            gone.push_back(std::move(r));
            return true;
        }
        if (r->matches(notification)) found.push_back(r);
        return false;
    });
    return found;
}

void NotificationCenter::post(const Notification& notification) {
    const auto found = matching(notification);
    std::shared_ptr<const Notification> queued;
    for (const auto& registration : found) {
        if (!registration->active.load()) continue;  // removed by an earlier observer of this post
        if (registration->queue == nullptr) {
            if (registration->needsLiveObserver) {
                // Keeps the observer alive while its selector runs; skips it if it has gone meanwhile.
                auto observer = registration->observer.lock();
                if (!observer) continue;
                registration->block(notification);
            } else {
                registration->block(notification);
            }
            continue;
        }
        if (!queued) queued = std::make_shared<const Notification>(notification);
        registration->queue->async([registration, queued] {
            if (registration->active.load()) registration->block(*queued);
        });
    }
}

void NotificationCenter::post(Notification::Name name, AnyObject object, std::map<std::string, std::any> userInfo) {
    post(Notification{std::move(name), std::move(object), std::move(userInfo)});
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return registrations_.size();
}

}  // namespace foundation
