#include "uikit/detail/NamedImageCache.h"

#include <sys/stat.h>

#include <functional>

#include "uikit/UIImage.h"

namespace uikit::detail {

std::optional<FileStamp> FileStamp::of(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                     static_cast<std::uint64_t>(status.st_size),
                     static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

NamedImageCache::NamedImageCache(std::size_t capacity, std::size_t byteLimit)
    : capacity_(capacity), byteLimit_(byteLimit) {}

NamedImageCache& NamedImageCache::shared() {
    static NamedImageCache* cache = new NamedImageCache();
    return *cache;
}

std::size_t NamedImageCache::Hash::operator()(const KeyView& key) const {
    std::size_t h = std::hash<std::string_view>()(key.bundlePath);
    h ^= std::hash<std::string_view>()(key.name) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
    return h ^ (static_cast<std::size_t>(key.scale) * 0x9e3779b97f4a7c15ull);
}

std::shared_ptr<UIImage> NamedImageCache::find(std::string_view bundlePath, std::string_view name, int scale) {
    std::shared_ptr<UIImage> image;
    std::string path;
    FileStamp stamp;
    {
        std::lock_guard lock(mutex_);
        const auto found = index_.find(KeyView{bundlePath, name, scale});
        if (found == index_.end()) return nullptr;
        entries_.splice(entries_.begin(), entries_, found->second);
        image = found->second->image;
        path = found->second->path;
        stamp = found->second->stamp;
    }
    // The file is looked at outside the lock: other look-ups need not wait for the disk.
    if (FileStamp::of(path) == stamp) return image;
    std::lock_guard lock(mutex_);
    const auto found = index_.find(KeyView{bundlePath, name, scale});
    if (found != index_.end() && found->second->image == image) erase(found->second);
    return nullptr;
}

std::shared_ptr<UIImage> NamedImageCache::insert(std::string_view bundlePath, std::string_view name, int scale,
                                                 std::string path, FileStamp stamp, std::shared_ptr<UIImage> image) {
    if (!image) return image;
    const std::size_t size = image->bitmap().bytes().size();
    std::lock_guard lock(mutex_);
    if (const auto found = index_.find(KeyView{bundlePath, name, scale}); found != index_.end()) {
        // Another thread decoded the same file first: its image is the one every caller gets.
        if (found->second->stamp == stamp && found->second->path == path) {
            entries_.splice(entries_.begin(), entries_, found->second);
            return found->second->image;
        }
        erase(found->second);
    }
    if (size > byteLimit_ || capacity_ == 0) return image;
    entries_.push_front(
        Entry{Key{std::string(bundlePath), std::string(name), scale}, image, std::move(path), stamp, size});
    index_.emplace(entries_.front().key, entries_.begin());
    bytes_ += size;
    evictOverBudget();
    return image;
}

void NamedImageCache::erase(Entries::iterator entry) {
    bytes_ -= entry->bytes;
    index_.erase(entry->key);
    entries_.erase(entry);
}

void NamedImageCache::evictOverBudget() {
    while (!entries_.empty() && (entries_.size() > capacity_ || bytes_ > byteLimit_)) erase(std::prev(entries_.end()));
}

void NamedImageCache::removeAll() {
    std::lock_guard lock(mutex_);
    index_.clear();
    entries_.clear();
    bytes_ = 0;
}

std::size_t NamedImageCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t NamedImageCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

}  // namespace uikit::detail
