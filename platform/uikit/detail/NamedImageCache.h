#pragma once

// Internal to the toolkit: the images that look-ups by name keep (UIImage::named).

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace uikit {
class UIImage;
}  // namespace uikit

namespace uikit::detail {

// What tells one version of a file from another: a file replaced or rewritten since it was read has another
// inode, size or modification time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;

    // The stamp of the regular file at `path`; nothing when there is none.
    static std::optional<FileStamp> of(const std::string& path);
    bool operator==(const FileStamp&) const = default;
};

// Decoded images by (bundle folder, name, scale asked for), the most recently used first. Holds at most
// `capacity` images and `byteLimit` bytes of pixels: the least recently used go first, and an image larger
// than the whole budget is not kept. An image is given again only while the file it was decoded from is
// unchanged on disk (one `stat` per hit). Safe to use from any thread.
class NamedImageCache {
  public:
    static constexpr std::size_t defaultCapacity = 64;
    static constexpr std::size_t defaultByteLimit = 32u << 20;

    explicit NamedImageCache(std::size_t capacity = defaultCapacity, std::size_t byteLimit = defaultByteLimit);

    // The one cache of the program, never destroyed (images may be looked up during static destruction).
    static NamedImageCache& shared();

    // `scale` is 0 for look-ups that ask for none. nullptr when nothing is kept for the key, or the file
    // the kept image came from changed since (the entry is then dropped).
    std::shared_ptr<UIImage> find(std::string_view bundlePath, std::string_view name, int scale);
    // Keeps `image`, decoded from the file `path` as it was at `stamp` (taken before reading it), unless
    // another thread kept one for the key meanwhile: returns the image kept, so that every caller of one
    // key sees one image.
    std::shared_ptr<UIImage> insert(std::string_view bundlePath, std::string_view name, int scale, std::string path,
                                    FileStamp stamp, std::shared_ptr<UIImage> image);
    void removeAll();

    std::size_t count() const;
    std::size_t bytes() const;

  private:
    struct Key {
        std::string bundlePath;
        std::string name;
        int scale = 0;
    };
    struct KeyView {
        std::string_view bundlePath;
        std::string_view name;
        int scale = 0;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(const KeyView& key) const;
        std::size_t operator()(const Key& key) const { return (*this)(KeyView{key.bundlePath, key.name, key.scale}); }
    };
    struct Equal {
        using is_transparent = void;
        static KeyView view(const Key& k) { return {k.bundlePath, k.name, k.scale}; }
        static KeyView view(const KeyView& k) { return k; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const {
            const KeyView x = view(a), y = view(b);
            return x.scale == y.scale && x.name == y.name && x.bundlePath == y.bundlePath;
        }
    };
    struct Entry {
        Key key;
        std::shared_ptr<UIImage> image;
        std::string path;  // the file it was decoded from
        FileStamp stamp;
        std::size_t bytes = 0;
    };
    using Entries = std::list<Entry>;

    void erase(Entries::iterator entry);  // mutex_ held
    void evictOverBudget();               // mutex_ held

    const std::size_t capacity_;
    const std::size_t byteLimit_;
    mutable std::mutex mutex_;
    Entries entries_;                                                // most recently used first; guarded by mutex_
    std::unordered_map<Key, Entries::iterator, Hash, Equal> index_;  // guarded by mutex_
    std::size_t bytes_ = 0;                                          // guarded by mutex_
};

}  // namespace uikit::detail
