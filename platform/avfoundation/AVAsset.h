#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/AVMediaSelection.h"
#include "avfoundation/HLS.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "foundation/URLSession.h"

namespace avfoundation {

// The state of a property of an asset that loads asynchronously.
enum class AVKeyValueStatus { unknown = 0, loading = 1, loaded = 2, failed = 3, cancelled = 4 };

// A timed media resource.
class AVAsset : public std::enable_shared_from_this<AVAsset> {
  public:
    virtual ~AVAsset() = default;

    // Loads the values of `keys` and then calls `handler` once, on a background queue (also when they
    // are already loaded, or loading fails). Only "playable" is a known key; any other key's status
    // becomes failed with AVError::unsupportedKey.
    virtual void loadValuesAsynchronously(std::vector<std::string> keys, std::function<void()> handler) = 0;
    // The state of the key's value; `error` (when given) receives the error of a failed load. Safe from
    // any thread.
    virtual AVKeyValueStatus statusOfValue(std::string_view key,
                                           std::optional<foundation::Error>* error = nullptr) const = 0;
    // True once "playable" has loaded and the asset has something to play; false before that (this
    // stand-in never loads on demand).
    virtual bool isPlayable() const = 0;
    // Stops loading: the status of a value being loaded becomes cancelled and waiting handlers run.
    virtual void cancelLoading() = 0;
    // The group of the options with `characteristic` (legible: the subtitle renditions); nothing before
    // "playable" has loaded or when the asset has none.
    virtual std::shared_ptr<AVMediaSelectionGroup> mediaSelectionGroup(
        const AVMediaCharacteristic& characteristic) const = 0;

  protected:
    AVAsset() = default;
};

// An asset at an HLS address (http or https): a multivariant playlist, or a single media playlist.
// Loading "playable" fetches and reads that playlist; the player item fetches the rest.
class AVURLAsset final : public AVAsset {
  public:
    static std::shared_ptr<AVURLAsset> create(foundation::URL url);
    ~AVURLAsset() override;

    const foundation::URL& url() const { return url_; }
    const std::shared_ptr<AVAssetResourceLoader>& resourceLoader() const { return resourceLoader_; }

    void loadValuesAsynchronously(std::vector<std::string> keys, std::function<void()> handler) override;
    AVKeyValueStatus statusOfValue(std::string_view key,
                                   std::optional<foundation::Error>* error = nullptr) const override;
    bool isPlayable() const override;
    void cancelLoading() override;
    std::shared_ptr<AVMediaSelectionGroup> mediaSelectionGroup(
        const AVMediaCharacteristic& characteristic) const override;

    // What loading "playable" read: the multivariant playlist, or, for the address of a media playlist, a
    // multivariant playlist with that one address as its only variant. Nothing before it has loaded.
    std::shared_ptr<const hls::MultivariantPlaylist> multivariantPlaylist() const;

  private:
    explicit AVURLAsset(foundation::URL url);
    void didLoad(std::uint64_t generation, std::optional<foundation::Data> data,
                 std::optional<foundation::HTTPURLResponse> response, std::optional<foundation::Error> error);
    void settle(std::uint64_t generation, AVKeyValueStatus status, std::optional<foundation::Error> error,
                std::shared_ptr<const hls::MultivariantPlaylist> playlist);

    foundation::URL url_;
    std::shared_ptr<AVAssetResourceLoader> resourceLoader_;
    std::shared_ptr<foundation::URLSession> session_;

    mutable std::mutex mutex_;  // guards everything below
    AVKeyValueStatus playableStatus_ = AVKeyValueStatus::unknown;
    std::optional<foundation::Error> playableError_;
    std::vector<std::pair<std::string, foundation::Error>> failedKeys_;
    std::shared_ptr<const hls::MultivariantPlaylist> playlist_;
    std::shared_ptr<AVMediaSelectionGroup> legibleGroup_;
    std::vector<std::function<void()>> waiting_;
    std::shared_ptr<foundation::URLSessionDataTask> task_;
    std::uint64_t generation_ = 0;
};

}  // namespace avfoundation
