#include "avfoundation/AVAsset.h"

#include <algorithm>
#include <variant>

#include "avfoundation/AVError.h"
#include "dispatch/DispatchQueue.h"

namespace avfoundation {

namespace {

constexpr const char* kPlayable = "playable";
constexpr double kPlaylistTimeout = 30.0;
constexpr std::size_t kMaximumPlaylistSize = 16u * 1024u * 1024u;

std::shared_ptr<AVMediaSelectionGroup> legibleGroup(const hls::MultivariantPlaylist& playlist) {
    // The subtitle group of the first variant that names one, else the first subtitle group.
    std::optional<std::string> groupId;
    for (const auto& v : playlist.variants) {
        if (v.subtitles) {
            groupId = v.subtitles;
            break;
        }
    }
    auto isSubtitles = [](const hls::Rendition& r) { return r.type == hls::Rendition::Type::subtitles; };
    if (!groupId || std::none_of(playlist.renditions.begin(), playlist.renditions.end(),
                                 [&](const hls::Rendition& r) { return isSubtitles(r) && r.groupId == *groupId; })) {
        auto first = std::find_if(playlist.renditions.begin(), playlist.renditions.end(), isSubtitles);
        if (first == playlist.renditions.end()) return nullptr;
        groupId = first->groupId;
    }
    AVMediaSelectionGroup::Options options;
    std::shared_ptr<AVMediaSelectionOption> defaultOption;
    for (const auto& r : playlist.renditions) {
        if (!isSubtitles(r) || r.groupId != *groupId) continue;
        std::vector<AVMediaCharacteristic> characteristics{AVMediaCharacteristicLegible};
        if (r.characteristics &&
            r.characteristics->find(AVMediaCharacteristicDescribesMusicAndSoundForAccessibility) != std::string::npos) {
            characteristics.push_back(AVMediaCharacteristicDescribesMusicAndSoundForAccessibility);
        }
        if (r.forced) characteristics.push_back(AVMediaCharacteristicContainsOnlyForcedSubtitles);
        auto option =
            AVMediaSelectionOption::create(r.name, r.language, AVMediaTypeSubtitle, std::move(characteristics));
        if (r.isDefault && !defaultOption) defaultOption = option;
        options.push_back(std::move(option));
    }
    return AVMediaSelectionGroup::create(std::move(options), std::move(defaultOption), true);
}

}  // namespace

AVURLAsset::AVURLAsset(foundation::URL url) : url_(std::move(url)), resourceLoader_(AVAssetResourceLoader::create()) {
    foundation::URLSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = kPlaylistTimeout;
    configuration.maximumResponseSize = kMaximumPlaylistSize;
    session_ = foundation::URLSession::create(configuration);
}

AVURLAsset::~AVURLAsset() {
    if (session_) session_->invalidateAndCancel();
}

std::shared_ptr<AVURLAsset> AVURLAsset::create(foundation::URL url) {
    return std::shared_ptr<AVURLAsset>(new AVURLAsset(std::move(url)));
}

void AVURLAsset::loadValuesAsynchronously(std::vector<std::string> keys, std::function<void()> handler) {
    const bool wantsPlayable = std::find(keys.begin(), keys.end(), kPlayable) != keys.end();
    bool start = false;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& key : keys) {
            if (key == kPlayable) continue;
            const bool known =
                std::any_of(failedKeys_.begin(), failedKeys_.end(), [&](const auto& f) { return f.first == key; });
            if (!known) {
                failedKeys_.emplace_back(
                    key, AVError::make(AVError::unsupportedKey, "The property key \"" + key + "\" is not supported."));
            }
        }
        const bool settled = playableStatus_ == AVKeyValueStatus::loaded || playableStatus_ == AVKeyValueStatus::failed;
        if (!wantsPlayable || settled) {
            if (handler) dispatch::DispatchQueue::global().async(std::move(handler));
            return;
        }
        if (handler) waiting_.push_back(std::move(handler));
        if (playableStatus_ == AVKeyValueStatus::loading) return;
        playableStatus_ = AVKeyValueStatus::loading;
        playableError_.reset();
        generation = ++generation_;
        start = true;
    }
    if (!start) return;
    const std::string scheme = url_.scheme();
    if (scheme != "http" && scheme != "https") {
        settle(generation, AVKeyValueStatus::failed,
               AVError::make(AVError::unsupportedURL,
                             "The media address \"" + url_.absoluteString() + "\" is not an http or https address."),
               nullptr);
        return;
    }
    std::weak_ptr<AVURLAsset> weak = std::static_pointer_cast<AVURLAsset>(shared_from_this());
    auto task = session_->dataTask(
        foundation::URLRequest(url_, kPlaylistTimeout), [weak, generation](auto data, auto response, auto error) {
            if (auto self = weak.lock()) {
                self->didLoad(generation, std::move(data), std::move(response), std::move(error));
            }
        });
    {
        std::lock_guard lock(mutex_);
        if (generation_ == generation) task_ = task;
    }
    task->resume();
}

void AVURLAsset::didLoad(std::uint64_t generation, std::optional<foundation::Data> data,
                         std::optional<foundation::HTTPURLResponse> response, std::optional<foundation::Error> error) {
    const std::string where = "The playlist at " + url_.absoluteString() + " could not be loaded";
    if (error || !response) {
        const std::string cause = error ? ": " + error->localizedDescription() : ".";
        settle(generation, AVKeyValueStatus::failed, AVError::make(AVError::playlistUnavailable, where + cause, error),
               nullptr);
        return;
    }
    if (response->statusCode < 200 || response->statusCode > 299) {
        settle(generation, AVKeyValueStatus::failed,
               AVError::make(AVError::playlistUnavailable,
                             where + " (HTTP " + std::to_string(response->statusCode) + ")."),
               nullptr);
        return;
    }
    const std::string text = data ? foundation::stringFromData(*data) : std::string();
    auto parsed = hls::parse(text, response->url);
    if (!parsed) {
        settle(generation, AVKeyValueStatus::failed, foundation::Error(parsed.error()), nullptr);
        return;
    }
    std::shared_ptr<hls::MultivariantPlaylist> playlist;
    if (auto* multivariant = std::get_if<hls::MultivariantPlaylist>(&*parsed)) {
        playlist = std::make_shared<hls::MultivariantPlaylist>(std::move(*multivariant));
    } else {
        playlist = std::make_shared<hls::MultivariantPlaylist>();
        playlist->variants.push_back(hls::Variant{.uri = response->url});
    }
    settle(generation, AVKeyValueStatus::loaded, std::nullopt, std::move(playlist));
}

void AVURLAsset::settle(std::uint64_t generation, AVKeyValueStatus status, std::optional<foundation::Error> error,
                        std::shared_ptr<const hls::MultivariantPlaylist> playlist) {
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || playableStatus_ != AVKeyValueStatus::loading) return;  // cancelled
        playableStatus_ = status;
        playableError_ = std::move(error);
        if (playlist) legibleGroup_ = legibleGroup(*playlist);
        playlist_ = std::move(playlist);
        task_.reset();
        handlers.swap(waiting_);
    }
    for (auto& handler : handlers) handler();
}

AVKeyValueStatus AVURLAsset::statusOfValue(std::string_view key, std::optional<foundation::Error>* error) const {
    std::lock_guard lock(mutex_);
    if (key == kPlayable) {
        if (error) *error = playableStatus_ == AVKeyValueStatus::failed ? playableError_ : std::nullopt;
        return playableStatus_;
    }
    for (const auto& [name, failure] : failedKeys_) {
        if (name == key) {
            if (error) *error = failure;
            return AVKeyValueStatus::failed;
        }
    }
    if (error) error->reset();
    return AVKeyValueStatus::unknown;
}

bool AVURLAsset::isPlayable() const {
    std::lock_guard lock(mutex_);
    return playableStatus_ == AVKeyValueStatus::loaded && playlist_ && !playlist_->variants.empty();
}

void AVURLAsset::cancelLoading() {
    std::vector<std::function<void()>> handlers;
    std::shared_ptr<foundation::URLSessionDataTask> task;
    {
        std::lock_guard lock(mutex_);
        if (playableStatus_ != AVKeyValueStatus::loading) return;
        playableStatus_ = AVKeyValueStatus::cancelled;
        ++generation_;
        task = std::move(task_);
        handlers.swap(waiting_);
    }
    if (task) task->cancel();
    for (auto& handler : handlers) dispatch::DispatchQueue::global().async(std::move(handler));
}

std::shared_ptr<AVMediaSelectionGroup> AVURLAsset::mediaSelectionGroup(
    const AVMediaCharacteristic& characteristic) const {
    std::lock_guard lock(mutex_);
    if (characteristic != AVMediaCharacteristicLegible) return nullptr;
    return legibleGroup_;
}

std::shared_ptr<const hls::MultivariantPlaylist> AVURLAsset::multivariantPlaylist() const {
    std::lock_guard lock(mutex_);
    return playlist_;
}

}  // namespace avfoundation
