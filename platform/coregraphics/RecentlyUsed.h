#pragma once

// The platform's text caches (the font engine here, string measurement and label fitting in uikit): a bounded
// map that forgets the least recently used entry first.

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <utility>

namespace coregraphics {

// At most `capacity` entries; finding an entry makes it the most recently used, and inserting into a full
// map forgets the least recently used one (after `onForget` has seen its value). `Hash` and `Equal` may be
// transparent, so that a look-up needs no key of the stored type. Not thread-safe: its owner locks.
template <class Key, class Value, class Hash = std::hash<Key>, class Equal = std::equal_to<Key>>
class RecentlyUsed {
  public:
    explicit RecentlyUsed(std::size_t capacity, std::function<void(Value&)> onForget = {})
        : capacity_(capacity > 0 ? capacity : 1), onForget_(std::move(onForget)) {}
    ~RecentlyUsed() { clear(); }
    RecentlyUsed(const RecentlyUsed&) = delete;
    RecentlyUsed& operator=(const RecentlyUsed&) = delete;

    template <class K>
    Value* find(const K& key) {
        auto it = entries_.find(key);
        if (it == entries_.end()) return nullptr;
        touch(it->second);
        return &it->second.value;
    }

    // Keeps `value` under `key` (replacing what the key had); returns the value kept.
    Value& insert(Key key, Value value) {
        auto [it, inserted] = entries_.try_emplace(std::move(key));
        Entry& entry = it->second;
        if (!inserted) {
            if (onForget_) onForget_(entry.value);
            entry.value = std::move(value);
            touch(entry);
            return entry.value;
        }
        entry.value = std::move(value);
        entry.key = &it->first;
        link(entry);
        if (entries_.size() > capacity_) forget(*oldest_);
        return entry.value;
    }

    void clear() {
        if (onForget_) {
            for (auto& [key, entry] : entries_) onForget_(entry.value);
        }
        entries_.clear();
        newest_ = oldest_ = nullptr;
    }

    std::size_t size() const { return entries_.size(); }
    std::size_t capacity() const { return capacity_; }

  private:
    // Entries are linked from the most recently used to the least; map nodes never move, so the links hold.
    struct Entry {
        Value value{};
        const Key* key = nullptr;
        Entry* newer = nullptr;
        Entry* older = nullptr;
    };

    void link(Entry& entry) {
        entry.newer = nullptr;
        entry.older = newest_;
        if (newest_) newest_->newer = &entry;
        newest_ = &entry;
        if (!oldest_) oldest_ = &entry;
    }
    void unlink(Entry& entry) {
        (entry.newer ? entry.newer->older : newest_) = entry.older;
        (entry.older ? entry.older->newer : oldest_) = entry.newer;
    }
    void touch(Entry& entry) {
        if (newest_ == &entry) return;
        unlink(entry);
        link(entry);
    }
    void forget(Entry& entry) {
        unlink(entry);
        if (onForget_) onForget_(entry.value);
        entries_.erase(entries_.find(*entry.key));
    }

    std::size_t capacity_;
    std::function<void(Value&)> onForget_;
    std::unordered_map<Key, Entry, Hash, Equal> entries_;
    Entry* newest_ = nullptr;
    Entry* oldest_ = nullptr;
};

}  // namespace coregraphics
