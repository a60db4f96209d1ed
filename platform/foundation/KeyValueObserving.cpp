#include "foundation/KeyValueObserving.h"

namespace foundation {

NSKeyValueObservation::NSKeyValueObservation(std::function<void()> onInvalidate)
    : core_(std::make_shared<Core>(std::move(onInvalidate))) {}

NSKeyValueObservation& NSKeyValueObservation::operator=(NSKeyValueObservation&& other) noexcept {
    if (this != &other) {
        invalidate();
        core_ = std::move(other.core_);
    }
    return *this;
}

NSKeyValueObservation::~NSKeyValueObservation() {
    invalidate();
}

void NSKeyValueObservation::invalidate() {
    if (!core_ || !core_->valid.exchange(false)) return;
    // Only the first invalidation gets here; the action (and what it captured) is released with it.
    auto action = std::move(core_->onInvalidate);
    core_->onInvalidate = nullptr;
    if (action) action();
}

bool NSKeyValueObservation::isValid() const {
    return core_ && core_->valid.load();
}

KVOObservable::KVOObservable() = default;

KVOObservable::~KVOObservable() {
    // Stops the target registrations before the object goes (their handlers refer to it).
    std::vector<Target> targets;
    {
        std::lock_guard lock(mutex_);
        targets.swap(targets_);
    }
    targets.clear();

    std::shared_ptr<DeallocationHandlers> deallocation;
    {
        std::lock_guard lock(mutex_);
        deallocation = std::move(deallocation_);
    }
    if (!deallocation) return;
    std::map<std::uint64_t, std::function<void()>> handlers;
    {
        std::lock_guard lock(deallocation->mutex);
        handlers.swap(deallocation->handlers);
    }
    for (auto& [id, handler] : handlers) handler();
}

NSKeyValueObservation KVOObservable::observeDeallocation(std::function<void()> handler) const {
    std::shared_ptr<DeallocationHandlers> deallocation;
    {
        std::lock_guard lock(mutex_);
        if (!deallocation_) deallocation_ = std::make_shared<DeallocationHandlers>();
        deallocation = deallocation_;
    }
    std::uint64_t id;
    {
        std::lock_guard lock(deallocation->mutex);
        id = deallocation->nextId++;
        deallocation->handlers.emplace(id, std::move(handler));
    }
    std::weak_ptr<DeallocationHandlers> weak = deallocation;
    return NSKeyValueObservation([weak, id] {
        auto state = weak.lock();
        if (!state) return;
        std::function<void()> removed;  // released after the lock
        std::lock_guard lock(state->mutex);
        if (auto it = state->handlers.find(id); it != state->handlers.end()) {
            removed = std::move(it->second);
            state->handlers.erase(it);
        }
    });
}

void KVOObservable::addKey(std::string key, Key entry) {
    std::lock_guard lock(mutex_);
    keys_[std::move(key)] = std::move(entry);
}

const KVOObservable::Key* KVOObservable::findKey(const std::string& key) const {
    // Keys are registered while the object is built and never removed, so the entry outlives the lock.
    std::lock_guard lock(mutex_);
    auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : &it->second;
}

std::expected<std::any, Error> KVOObservable::value(const std::string& key) const {
    const Key* entry = findKey(key);
    if (!entry) return std::unexpected(Error(KeyValueCodingError{key}));
    return entry->get();
}

std::expected<NSKeyValueObservation, Error> KVOObservable::observe(
    const std::string& keyPath, NSKeyValueObservingOptions options,
    std::function<void(const KeyValueChange&)> handler) const {
    const Key* entry = findKey(keyPath);
    if (!entry) return std::unexpected(Error(KeyValueCodingError{keyPath}));
    return entry->observe(options, std::move(handler));
}

std::expected<void, Error> KVOObservable::addObserver(const std::shared_ptr<KVOObserver>& observer,
                                                      const std::string& keyPath, NSKeyValueObservingOptions options,
                                                      void* context) {
    const Key* entry = findKey(keyPath);
    if (!entry) return std::unexpected(Error(KeyValueCodingError{keyPath}));
    if (!observer) return {};
    std::weak_ptr<KVOObserver> weakObserver = observer;
    // `this` is safe here: the registration is owned by this object and stopped before it goes.
    auto observation = entry->observe(options, [this, weakObserver, keyPath, context](const KeyValueChange& change) {
        if (auto o = weakObserver.lock()) o->observeValue(keyPath, *this, change, context);
    });
    std::lock_guard lock(mutex_);
    targets_.push_back(Target{weakObserver, keyPath, std::move(observation)});
    return {};
}

bool KVOObservable::removeObserver(const std::shared_ptr<KVOObserver>& observer, const std::string& keyPath) {
    std::optional<Target> removed;  // stopped after the lock
    {
        std::lock_guard lock(mutex_);
        for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) {
            if (it->keyPath == keyPath && !it->observer.owner_before(observer) &&
                !observer.owner_before(it->observer)) {
                removed.emplace(std::move(*it));
                targets_.erase(std::next(it).base());
                break;
            }
        }
    }
    return removed.has_value();
}

}  // namespace foundation
