#include "avfoundation/detail/PlayerItemEngine.h"

#include <algorithm>

#include "avfoundation/AVError.h"
#include "dispatch/DispatchQueue.h"

namespace avfoundation::detail {

namespace {

constexpr double kEpsilon = 1e-6;

dispatch::Nanoseconds clockNow() {
    return dispatch::Clock::current()->now();
}

coremedia::CMTime timeAt(double seconds) {
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

}  // namespace

PlayerItemEngine::PlayerItemEngine(std::shared_ptr<AVAsset> asset)
    : asset_(std::move(asset)),
      logs_([this](const foundation::Notification::Name& name) { post(name); }),
      loader_(*this, logs_),
      keys_(*this, logs_) {}

std::shared_ptr<PlayerItemEngine> PlayerItemEngine::create(std::shared_ptr<AVAsset> asset) {
    auto engine = std::shared_ptr<PlayerItemEngine>(new PlayerItemEngine(std::move(asset)));
    // The parts' callbacks hold the whole engine while they run.
    engine->loader_.setSelf(std::shared_ptr<SegmentLoader>(engine, &engine->loader_));
    engine->keys_.setSelf(std::shared_ptr<ContentKeySession>(engine, &engine->keys_));
    return engine;
}

PlayerItemEngine::~PlayerItemEngine() = default;

// ---- The item's public face ----

double PlayerItemEngine::position() const {
    return playhead_.positionAt(clockNow());
}

coremedia::CMTime PlayerItemEngine::currentTime() const {
    if (phase_ != Phase::ready && playhead_.pendingStart) return timeAt(*playhead_.pendingStart);
    return timeAt(position());
}

void PlayerItemEngine::setPreferredForwardBufferDuration(double seconds) {
    loader_.setPreferredForwardBufferDuration(seconds);
    pump();
}

// ---- The player ----

void PlayerItemEngine::attach(std::weak_ptr<PlayerItemHost> host) {
    host_ = std::move(host);
    if (phase_ == Phase::idle) {
        startLoading();
        return;
    }
    keys_.resumeRenewals();
    scheduleReload();
    pump();
}

void PlayerItemEngine::detach() {
    playhead_.hold(clockNow(), loader_);
    countWatched();
    host_.reset();
    loader_.stop(false);
    keys_.pauseRenewals();
}

void PlayerItemEngine::reanchor(dispatch::Nanoseconds now) {
    playhead_.reanchor(now, loader_);
    countWatched();
}

bool PlayerItemEngine::failIfFaultDue(dispatch::Nanoseconds now) {
    reanchor(now);
    auto fault = playhead_.takeDueFault();
    if (!fault) return false;
    fail(*fault);
    return true;
}

PlayheadStep PlayerItemEngine::step(float rate, bool pauseAtItemEnd, dispatch::Nanoseconds now) {
    const PlayheadStep step = playhead_.step(rate, pauseAtItemEnd, isReady(), loader_, now);
    countWatched();
    if (step.postStall) logs_.countStall();
    updateBufferEmpty();
    return step;
}

bool PlayerItemEngine::isSettled() const {
    return isReady() && loader_.isBufferedAt(playhead_.anchor(), true);
}

void PlayerItemEngine::seek(double seconds, dispatch::Nanoseconds now) {
    if (!isReady()) {
        playhead_.pendingStart = seconds;
        return;
    }
    playhead_.jumpTo(clampToSeekable(seconds), now);
    post(AVPlayerItemTimeJumpedNotification);
}

void PlayerItemEngine::pump() {
    if ((phase_ != Phase::buffering && phase_ != Phase::ready) || !host()) return;
    loader_.pump(position());
}

void PlayerItemEngine::mediaDidChange() {
    auto host = host_.lock();
    if (!host) return;
    // A live window may have slid past a paused playhead: the playhead moves to the window's start.
    if (isReady() && loader_.isLive()) {
        const auto now = clockNow();
        reanchor(now);
        if (playhead_.anchor() < loader_.timeline().start() - kEpsilon) {
            playhead_.jumpTo(loader_.timeline().start(), now);
            post(AVPlayerItemTimeJumpedNotification);
        }
    }
    host->itemDidChange();
}

// ---- Loading ----

std::string PlayerItemEngine::playlistAddress() const {
    if (variant_) return variant_->uri.absoluteString();
    if (auto urlAsset = std::dynamic_pointer_cast<AVURLAsset>(asset_)) return urlAsset->url().absoluteString();
    return {};
}

void PlayerItemEngine::startLoading() {
    auto urlAsset = std::dynamic_pointer_cast<AVURLAsset>(asset_);
    if (!urlAsset) {
        fail(AVError::make(AVError::unsupportedURL, "Only URL assets can be played."));
        return;
    }
    phase_ = Phase::loadingAsset;
    std::weak_ptr<PlayerItemEngine> weak = weak_from_this();
    auto didLoad = [weak] {
        if (auto self = weak.lock()) self->assetDidLoad();
    };
    // An asset whose playlist was read already (the usual case: whoever made the item loaded it first) is
    // answered on a later turn of the main queue directly, without a round trip through a background queue.
    const auto status = urlAsset->statusOfValue("playable");
    if (status == AVKeyValueStatus::loaded || status == AVKeyValueStatus::failed) {
        dispatch::DispatchQueue::main().async(std::move(didLoad));
        return;
    }
    urlAsset->loadValuesAsynchronously({"playable"}, [didLoad] { dispatch::DispatchQueue::main().async(didLoad); });
}

void PlayerItemEngine::assetDidLoad() {
    if (phase_ != Phase::loadingAsset) return;
    std::optional<foundation::Error> error;
    const auto status = asset_->statusOfValue("playable", &error);
    if (status != AVKeyValueStatus::loaded) {
        if (!error) {
            error = status == AVKeyValueStatus::cancelled
                        ? foundation::Error(AVError::make(AVError::cancelled, "Loading the asset was cancelled."))
                        : foundation::Error(AVError::make(AVError::unknown));
        }
        fail(*error);
        return;
    }
    auto urlAsset = std::static_pointer_cast<AVURLAsset>(asset_);
    auto playlist = urlAsset->multivariantPlaylist();
    if (!asset_->isPlayable() || !playlist || playlist->variants.empty()) {
        fail(AVError::make(AVError::notPlayable));
        return;
    }
    variant_ = playlist->variants.front();
    logs_.setVariant(*variant_);
    loader_.setPlaylistURL(variant_->uri);
    keys_.setResourceLoader(urlAsset->resourceLoader());
    phase_ = Phase::loadingPlaylist;
    loader_.fetchPlaylist(true);
}

void PlayerItemEngine::loaderDidReadPlaylist(std::expected<hls::MediaPlaylist, foundation::Error> playlist,
                                             bool initial) {
    if (phase_ == Phase::failed) return;
    if (!playlist) {
        if (initial) {
            fail(playlist.error());
        } else {
            scheduleReload();
        }
        return;
    }
    if (initial) {
        readFirstPlaylist(std::move(*playlist));
        return;
    }
    const bool endList = playlist->endList;
    switch (mergePlaylist(std::move(*playlist))) {
        case Merge::failed:
            return;
        case Merge::rejected:
            scheduleReload();
            return;
        case Merge::merged:
            break;
    }
    if (endList) loader_.setLive(false);  // the stream ended: a video on demand from now on
    updateRanges();
    mediaDidChange();
    scheduleReload();
    pump();
}

void PlayerItemEngine::readFirstPlaylist(hls::MediaPlaylist playlist) {
    loader_.setLive(!playlist.endList);
    loader_.setTargetDuration(playlist.targetDuration);
    // Segments shorter than the playhead can tell apart would leave it at the start for ever, neither
    // playing nor ended.
    if (!loader_.isLive() && playlist.duration() <= kEpsilon) {
        fail(AVError::make(AVError::malformedPlaylist, "The media playlist at " + playlistAddress() +
                                                           " cannot be played: its segments last no time."));
        return;
    }
    phase_ = Phase::requestingKeys;
    auto keyIds = keys_.add(playlist.keys);
    if (!keyIds) {
        fail(keyIds.error());
        return;
    }
    loader_.timeline().adopt(std::move(playlist.segments), *keyIds);
    if (keys_.allAnswered()) beginBuffering();
}

PlayerItemEngine::Merge PlayerItemEngine::mergePlaylist(hls::MediaPlaylist playlist) {
    MediaTimeline& timeline = loader_.timeline();
    if (timeline.empty()) return Merge::rejected;
    if (playlist.mediaSequence < timeline.sequenceOf(0)) {
        logs_.logError(playlistAddress(), AVError::malformedPlaylist, AVError::domain,
                       "The media sequence of the reloaded playlist went backwards.");
        return Merge::rejected;
    }
    auto keyIds = keys_.add(playlist.keys);
    if (!keyIds) {
        fail(keyIds.error());
        return Merge::failed;
    }
    const std::int64_t last = timeline.lastSequence();
    for (auto& segment : playlist.segments) {
        if (segment.mediaSequence <= last) continue;
        const std::optional<KeyId> key = segment.key ? std::optional((*keyIds)[*segment.key]) : std::nullopt;
        timeline.append(std::move(segment), key);
    }
    timeline.dropBefore(playlist.mediaSequence);
    loader_.setTargetDuration(playlist.targetDuration);
    retireKeysOutsideWindow(std::move(*keyIds));
    return timeline.empty() ? Merge::rejected : Merge::merged;
}

void PlayerItemEngine::retireKeysOutsideWindow(std::vector<KeyId> named) {
    // Only a live window slides: the keys of a video on demand stay for as long as the item.
    if (!loader_.isLive()) return;
    // A key stays while a segment of the timeline (the window, and any segment still to be played after
    // it) uses it, or while the playlist names it (a key announced before its first segment). A segment
    // being fetched is in the timeline, or has left it and is dropped when it arrives.
    std::ranges::sort(named);
    const MediaTimeline& timeline = loader_.timeline();
    keys_.retireUnused([&](KeyId id) { return timeline.usesKey(id) || std::ranges::binary_search(named, id); });
}

void PlayerItemEngine::beginBuffering() {
    phase_ = Phase::buffering;
    double start = loader_.isLive() ? loader_.liveEdge() : loader_.timeline().start();
    if (playhead_.pendingStart) start = clampToSeekable(*playhead_.pendingStart);
    playhead_.pendingStart.reset();
    playhead_.jumpTo(start, clockNow());
    pump();
}

void PlayerItemEngine::loaderDidLoadSegment() {
    if (phase_ == Phase::failed) return;
    if (phase_ == Phase::buffering) {
        if (loader_.isBufferedAt(playhead_.anchor(), false)) {
            becomeReady();
            return;
        }
        updateRanges();
        pump();
        return;
    }
    updateRanges();
    mediaDidChange();
    pump();
}

void PlayerItemEngine::loaderIsIdle() {
    if (phase_ != Phase::failed) pump();
}

void PlayerItemEngine::loaderDidFail(foundation::Error error) {
    fail(std::move(error));
}

bool PlayerItemEngine::loaderIsKeyAnswered(KeyId key) const {
    return keys_.isAnswered(key);
}

bool PlayerItemEngine::keySessionMayAsk() const {
    return phase_ != Phase::failed && host();
}

void PlayerItemEngine::keySessionDidAnswer() {
    if (phase_ == Phase::failed) return;
    if (phase_ == Phase::requestingKeys) {
        if (keys_.allAnswered()) beginBuffering();
        return;
    }
    pump();
}

void PlayerItemEngine::keySessionDidFail(foundation::Error error) {
    if (phase_ != Phase::failed) fail(std::move(error));
}

void PlayerItemEngine::becomeReady() {
    phase_ = Phase::ready;
    updateRanges();
    if (variant_ && variant_->resolution) {
        properties_.presentationSize.set(coregraphics::CGSize{static_cast<double>(variant_->resolution->width),
                                                              static_cast<double>(variant_->resolution->height)});
    }
    logs_.start(playhead_.anchor());
    if (phase_ != Phase::ready) return;  // an observer replaced or failed it
    properties_.status.set(AVPlayerItem::Status::readyToPlay);
    scheduleReload();
    mediaDidChange();
    pump();
}

void PlayerItemEngine::scheduleReload() {
    if (phase_ == Phase::ready && host()) {
        loader_.scheduleReload();
    } else {
        loader_.cancelReload();
    }
}

// ---- Published state ----

double PlayerItemEngine::clampToSeekable(double seconds) const {
    const MediaTimeline& timeline = loader_.timeline();
    const double upper = loader_.isLive() ? loader_.liveEdge() : timeline.end();
    return std::clamp(seconds, timeline.start(), std::max(upper, timeline.start()));
}

void PlayerItemEngine::updateRanges() {
    const MediaTimeline& timeline = loader_.timeline();
    auto loaded = timeline.loadedRanges();
    if (loaded != properties_.loadedTimeRanges.value()) properties_.loadedTimeRanges.set(std::move(loaded));
    if (phase_ != Phase::ready) return;
    const bool live = loader_.isLive();
    const double upper = live ? loader_.liveEdge() : timeline.end();
    std::vector<coremedia::CMTimeRange> seekable{
        coremedia::CMTimeRangeFromTimeToTime(timeAt(timeline.start()), timeAt(upper))};
    const coremedia::CMTime duration = live ? coremedia::kCMTimeIndefinite : timeAt(timeline.end());
    const coremedia::CMTime previous = properties_.duration.value();
    if (previous.isIndefinite() != duration.isIndefinite() || (!duration.isIndefinite() && previous != duration)) {
        properties_.duration.set(duration);
    }
    if (seekable != properties_.seekableTimeRanges.value()) properties_.seekableTimeRanges.set(std::move(seekable));
}

void PlayerItemEngine::updateBufferEmpty() {
    const bool empty = !(isReady() && loader_.isBufferedAt(position(), true));
    if (empty != properties_.isPlaybackBufferEmpty.value()) properties_.isPlaybackBufferEmpty.set(empty);
}

void PlayerItemEngine::countWatched() {
    logs_.countWatched(playhead_.takeWatched());
}

void PlayerItemEngine::fail(foundation::Error error) {
    if (phase_ == Phase::failed) return;
    const bool wasReady = phase_ == Phase::ready;
    playhead_.hold(clockNow(), loader_);
    countWatched();
    phase_ = Phase::failed;
    error_ = error;
    loader_.stop(true);
    keys_.cancelAll();
    logs_.logError(playlistAddress(), error);
    properties_.status.set(AVPlayerItem::Status::failed);
    if (wasReady) {
        post(AVPlayerItemFailedToPlayToEndTimeNotification,
             {{AVPlayerItemFailedToPlayToEndTimeErrorKey, std::any(error)}});
    }
    if (auto host = host_.lock()) host->itemDidFail();
}

void PlayerItemEngine::post(const foundation::Notification::Name& name, std::map<std::string, std::any> userInfo) {
    if (auto item = item_.lock()) foundation::NotificationCenter::defaultCenter().post(name, item, std::move(userInfo));
}

}  // namespace avfoundation::detail
