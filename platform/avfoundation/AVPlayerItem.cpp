#include "avfoundation/AVPlayerItem.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "avfoundation/AVError.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/ContentKey.h"
#include "dispatch/DispatchQueue.h"
#include "foundation/URLError.h"

namespace avfoundation {

namespace {

// Positions closer than this count as the same place (the clock has nanosecond steps).
constexpr double kEpsilon = 1e-6;
constexpr double kAutomaticForwardBuffer = 30.0;
constexpr int kSegmentAttempts = 3;
constexpr double kRequestTimeout = 60.0;
constexpr const char* kCoreMediaErrorDomain = "CoreMediaErrorDomain";

dispatch::Nanoseconds clockNow() {
    return dispatch::Clock::current()->now();
}

coremedia::CMTime timeAt(double seconds) {
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

std::string nextSessionID() {
    static std::atomic<std::uint64_t> counter{0};
    return "playback-session-" + std::to_string(++counter);
}

bool isSuccess(const std::optional<foundation::HTTPURLResponse>& response) {
    return response && response->statusCode >= 200 && response->statusCode <= 299;
}

}  // namespace

AVPlayerItem::AVPlayerItem(std::shared_ptr<AVAsset> asset)
    : asset_(std::move(asset)), playbackSessionID_(nextSessionID()) {
    registerKey("status", status_);
    registerKey("duration", duration_);
    registerKey("seekableTimeRanges", seekableTimeRanges_);
    registerKey("loadedTimeRanges", loadedTimeRanges_);
    registerKey("isPlaybackBufferEmpty", isPlaybackBufferEmpty_);
    registerKey("presentationSize", presentationSize_);
    foundation::URLSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = kRequestTimeout;
    session_ = foundation::URLSession::create(configuration, dispatch::DispatchQueue::main());
    counters_.playbackSessionID = playbackSessionID_;
}

std::shared_ptr<AVPlayerItem> AVPlayerItem::create(std::shared_ptr<AVAsset> asset) {
    return std::shared_ptr<AVPlayerItem>(new AVPlayerItem(std::move(asset)));
}

std::shared_ptr<AVPlayerItem> AVPlayerItem::create(foundation::URL url) {
    return create(AVURLAsset::create(std::move(url)));
}

AVPlayerItem::~AVPlayerItem() {
    stopActivity();
    for (auto& key : keys_) {
        if (key.outstanding) key.outstanding->cancel();
    }
    session_->invalidateAndCancel();
}

// ---- Public properties ----

coremedia::CMTime AVPlayerItem::currentTime() const {
    if (phase_ != Phase::ready && pendingStart_) return timeAt(*pendingStart_);
    return timeAt(position());
}

void AVPlayerItem::setPreferredForwardBufferDuration(double seconds) {
    preferredForwardBufferDuration_ = (std::isfinite(seconds) && seconds > 0) ? seconds : 0;
    pumpLoading();
}

std::shared_ptr<AVMediaSelection> AVPlayerItem::currentMediaSelection() const {
    AVMediaSelection::Choices choices;
    if (asset_) {
        if (auto group = asset_->mediaSelectionGroup(AVMediaCharacteristicLegible)) {
            auto chosen =
                std::find_if(selection_.begin(), selection_.end(), [&](const auto& c) { return c.first == group; });
            choices.emplace_back(group, chosen != selection_.end() ? chosen->second : group->defaultOption());
        }
    }
    return std::make_shared<AVMediaSelection>(std::move(choices));
}

void AVPlayerItem::select(std::shared_ptr<AVMediaSelectionOption> option,
                          const std::shared_ptr<AVMediaSelectionGroup>& group) {
    if (!group) return;
    if (option && !group->contains(option)) return;
    if (!option && !group->allowsEmptySelection()) return;
    auto chosen = std::find_if(selection_.begin(), selection_.end(), [&](const auto& c) { return c.first == group; });
    if (chosen != selection_.end()) {
        chosen->second = std::move(option);
    } else {
        selection_.emplace_back(group, std::move(option));
    }
}

void AVPlayerItem::selectMediaOptionAutomatically(const std::shared_ptr<AVMediaSelectionGroup>& group) {
    std::erase_if(selection_, [&](const auto& c) { return c.first == group; });
}

std::shared_ptr<const AVPlayerItemAccessLog> AVPlayerItem::accessLog() const {
    if (!accessLogStarted_) return nullptr;
    auto log = std::make_shared<AVPlayerItemAccessLog>(AVPlayerItemAccessLog{closedAccessEvents_});
    log->events.push_back(counters_);
    return log;
}

std::shared_ptr<const AVPlayerItemErrorLog> AVPlayerItem::errorLog() const {
    if (!errorLog_) return nullptr;
    return std::make_shared<const AVPlayerItemErrorLog>(*errorLog_);
}

void AVPlayerItem::scriptFailure(coremedia::CMTime at, foundation::Error error) {
    if (!at.isNumeric()) return;
    scriptedFailures_.emplace_back(at.seconds(), std::move(error));
    std::sort(scriptedFailures_.begin(), scriptedFailures_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    notifyPlayer();
}

// ---- Attachment to a player ----

void AVPlayerItem::attach(const std::shared_ptr<AVPlayer>& player) {
    player_ = player;
    if (phase_ == Phase::idle) {
        startLoading();
        return;
    }
    anchorClock_ = clockNow();
    for (auto& key : keys_) {
        if (key.renewalDate && !key.renewalTimer) scheduleRenewal(key);
    }
    scheduleReload();
    pumpLoading();
}

void AVPlayerItem::detach() {
    reanchor(clockNow());
    movingRate_ = 0;
    moveLimit_ = anchorSeconds_;
    player_.reset();
    stopActivity();
}

void AVPlayerItem::stopActivity() {
    if (segmentTask_) segmentTask_->cancel();
    segmentTask_.reset();
    segmentInFlight_ = -1;
    ++segmentFetchId_;
    if (reloadTimer_) dispatch::RunLoop::main().cancel(reloadTimer_);
    reloadTimer_ = 0;
    for (auto& key : keys_) {
        if (key.renewalTimer) dispatch::RunLoop::main().cancel(key.renewalTimer);
        key.renewalTimer = 0;
    }
    // A live reload in flight finishes and is merged; it only schedules the next one while attached.
    if (phase_ == Phase::failed && playlistTask_) {
        playlistTask_->cancel();
        playlistTask_.reset();
        ++playlistFetchId_;
    }
}

void AVPlayerItem::notifyPlayer() {
    if (auto p = player()) p->itemDidChange(*this);
}

// ---- Playhead ----

double AVPlayerItem::positionAt(dispatch::Nanoseconds now) const {
    if (movingRate_ <= 0) return anchorSeconds_;
    const double elapsed = dispatch::secondsFromNanoseconds(now - anchorClock_);
    return std::min(anchorSeconds_ + movingRate_ * std::max(elapsed, 0.0), moveLimit_);
}

double AVPlayerItem::position() const {
    return positionAt(clockNow());
}

void AVPlayerItem::reanchor(dispatch::Nanoseconds now) {
    const double next = positionAt(now);
    if (movingRate_ > 0 && next > anchorSeconds_) {
        counters_.durationWatched += next - anchorSeconds_;
        for (auto it = scriptedFailures_.begin(); it != scriptedFailures_.end(); ++it) {
            if (it->first >= anchorSeconds_ - kEpsilon && it->first <= next + kEpsilon) {
                if (!dueFailure_) dueFailure_ = it->second;
                scriptedFailures_.erase(it);
                break;
            }
        }
    }
    anchorSeconds_ = next;
    anchorClock_ = now;
}

void AVPlayerItem::setMovingRate(double rate, dispatch::Nanoseconds now) {
    reanchor(now);
    movingRate_ = rate > 0 ? rate : 0;
    if (movingRate_ <= 0) {
        moveLimit_ = anchorSeconds_;
        return;
    }
    moveLimit_ = contiguousLoadedEnd(anchorSeconds_);
    if (auto failure = nextScriptedFailure(anchorSeconds_ + kEpsilon)) moveLimit_ = std::min(moveLimit_, *failure);
}

void AVPlayerItem::jumpTo(double seconds, dispatch::Nanoseconds now) {
    anchorSeconds_ = seconds;
    anchorClock_ = now;
    movingRate_ = 0;
    moveLimit_ = seconds;
    endNotified_ = false;
    stalled_ = false;
}

double AVPlayerItem::timelineStart() const {
    return timeline_.empty() ? 0 : timeline_.front().start;
}

double AVPlayerItem::timelineEnd() const {
    return timeline_.empty() ? 0 : timeline_.back().start + timeline_.back().duration;
}

double AVPlayerItem::liveEdge() const {
    return std::max(timelineStart(), timelineEnd() - 3 * targetDuration_);
}

double AVPlayerItem::clampToSeekable(double seconds) const {
    const double upper = live_ ? liveEdge() : timelineEnd();
    return std::clamp(seconds, timelineStart(), std::max(upper, timelineStart()));
}

bool AVPlayerItem::isAtEnd(double pos) const {
    return !live_ && phase_ == Phase::ready && pos >= timelineEnd() - kEpsilon;
}

bool AVPlayerItem::isAtLiveEdge(double pos) const {
    return live_ && pos >= timelineEnd() - kEpsilon;
}

std::optional<std::size_t> AVPlayerItem::segmentIndexAt(double pos) const {
    if (timeline_.empty() || pos >= timelineEnd() - kEpsilon) return std::nullopt;
    if (pos < timelineStart()) return 0;
    auto it = std::upper_bound(timeline_.begin(), timeline_.end(), pos + kEpsilon,
                               [](double p, const TimelineSegment& s) { return p < s.start; });
    if (it == timeline_.begin()) return 0;
    return static_cast<std::size_t>(std::distance(timeline_.begin(), it) - 1);
}

double AVPlayerItem::contiguousLoadedEnd(double pos) const {
    const auto index = segmentIndexAt(pos);
    if (!index || !timeline_[*index].loaded) return pos;
    std::size_t last = *index;
    while (last + 1 < timeline_.size() && timeline_[last + 1].loaded) ++last;
    return std::max(pos, timeline_[last].start + timeline_[last].duration);
}

bool AVPlayerItem::isBufferedAt(double pos) const {
    return isAtEnd(pos) || contiguousLoadedEnd(pos) > pos + kEpsilon;
}

std::optional<double> AVPlayerItem::nextGapStart(double pos) const {
    const auto index = segmentIndexAt(pos);
    if (!index) return std::nullopt;
    for (std::size_t i = *index; i < timeline_.size(); ++i) {
        if (!timeline_[i].loaded) return timeline_[i].start;
    }
    return std::nullopt;
}

double AVPlayerItem::forwardBufferDuration() const {
    return preferredForwardBufferDuration_ > 0 ? preferredForwardBufferDuration_ : kAutomaticForwardBuffer;
}

std::optional<double> AVPlayerItem::nextScriptedFailure(double after) const {
    for (const auto& [at, error] : scriptedFailures_) {
        if (at >= after) return at;
    }
    return std::nullopt;
}

std::optional<foundation::Error> AVPlayerItem::takeDueFailure() {
    return std::exchange(dueFailure_, std::nullopt);
}

// ---- Loading ----

std::string AVPlayerItem::playlistAddress() const {
    if (variant_) return variant_->uri.absoluteString();
    if (auto urlAsset = std::dynamic_pointer_cast<AVURLAsset>(asset_)) return urlAsset->url().absoluteString();
    return {};
}

void AVPlayerItem::startLoading() {
    auto urlAsset = std::dynamic_pointer_cast<AVURLAsset>(asset_);
    if (!urlAsset) {
        fail(AVError::make(AVError::unsupportedURL, "Only URL assets can be played."));
        return;
    }
    phase_ = Phase::loadingAsset;
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    urlAsset->loadValuesAsynchronously({"playable"}, [weak] {
        dispatch::DispatchQueue::main().async([weak] {
            if (auto self = weak.lock()) self->assetDidLoad();
        });
    });
}

void AVPlayerItem::assetDidLoad() {
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
    auto playlist = std::static_pointer_cast<AVURLAsset>(asset_)->multivariantPlaylist();
    if (!asset_->isPlayable() || !playlist || playlist->variants.empty()) {
        fail(AVError::make(AVError::notPlayable));
        return;
    }
    variant_ = playlist->variants.front();
    counters_.indicatedBitrate = static_cast<double>(variant_->bandwidth);
    counters_.indicatedAverageBitrate = static_cast<double>(variant_->averageBandwidth.value_or(0));
    counters_.uri = variant_->uri.absoluteString();
    counters_.serverAddress = variant_->uri.host();
    phase_ = Phase::loadingPlaylist;
    fetchMediaPlaylist(true);
}

void AVPlayerItem::fetchMediaPlaylist(bool initial) {
    const std::uint64_t id = ++playlistFetchId_;
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    playlistTask_ = session_->dataTask(foundation::URLRequest(variant_->uri, kRequestTimeout),
                                       [weak, id, initial](auto data, auto response, auto error) {
                                           auto self = weak.lock();
                                           if (!self || self->playlistFetchId_ != id) return;
                                           self->didFetchMediaPlaylist(initial, std::move(data), std::move(response),
                                                                       std::move(error));
                                       });
    playlistTask_->resume();
}

void AVPlayerItem::didFetchMediaPlaylist(bool initial, std::optional<foundation::Data> data,
                                         std::optional<foundation::HTTPURLResponse> response,
                                         std::optional<foundation::Error> error) {
    playlistTask_.reset();
    if (phase_ == Phase::failed) return;
    const std::string uri = variant_->uri.absoluteString();
    const std::string where = "The media playlist at " + uri + " could not be loaded";
    std::optional<foundation::Error> problem;
    std::optional<hls::MediaPlaylist> playlist;
    countRequest(data ? static_cast<long long>(data->size()) : 0, 0);
    if (error || !response) {
        const foundation::Error cause = error ? *error : foundation::Error(AVError::make(AVError::unknown));
        logError(uri, cause);
        problem = AVError::make(AVError::playlistUnavailable, where + ": " + cause.localizedDescription(), cause);
    } else if (!isSuccess(response)) {
        const std::string status = std::to_string(response->statusCode);
        logError(uri, response->statusCode, kCoreMediaErrorDomain, "HTTP " + status);
        problem = AVError::make(AVError::playlistUnavailable, where + " (HTTP " + status + ").");
    } else {
        auto parsed = hls::parseMedia(data ? foundation::stringFromData(*data) : std::string(), response->url);
        if (!parsed) {
            problem = foundation::Error(parsed.error());
            if (!initial) logError(uri, *problem);
        } else {
            playlist = std::move(*parsed);
        }
    }
    if (problem) {
        if (initial) {
            fail(*problem);
        } else {
            scheduleReload();
        }
        return;
    }
    if (initial) {
        live_ = !playlist->endList;
        targetDuration_ = playlist->targetDuration;
        double start = 0;
        for (const auto& s : playlist->segments) {
            timeline_.push_back(TimelineSegment{.sequence = s.mediaSequence,
                                                .start = start,
                                                .duration = s.duration,
                                                .uri = s.uri,
                                                .keyURI = s.key ? playlist->keys[*s.key].uri : std::nullopt});
            start += s.duration;
        }
        // Segments shorter than the playhead can tell apart would leave it at the start for ever, neither
        // playing nor ended.
        if (!live_ && timelineEnd() - timelineStart() <= kEpsilon) {
            fail(AVError::make(AVError::malformedPlaylist,
                               "The media playlist at " + uri + " cannot be played: its segments last no time."));
            return;
        }
        phase_ = Phase::requestingKeys;
        if (!requestNewKeys(*playlist)) return;
        if (std::all_of(keys_.begin(), keys_.end(), [](const KeyState& k) { return k.answered; })) beginBuffering();
        return;
    }
    if (!mergeTimeline(*playlist)) {
        scheduleReload();
        return;
    }
    if (!requestNewKeys(*playlist)) return;
    if (playlist->endList) live_ = false;
    updateRanges();
    notifyPlayer();
    scheduleReload();
    pumpLoading();
}

bool AVPlayerItem::mergeTimeline(const hls::MediaPlaylist& playlist) {
    if (timeline_.empty()) return false;
    if (playlist.mediaSequence < timeline_.front().sequence) {
        logError(playlistAddress(), AVError::malformedPlaylist, AVError::domain,
                 "The media sequence of the reloaded playlist went backwards.");
        return false;
    }
    const std::int64_t last = timeline_.back().sequence;
    double end = timelineEnd();
    for (const auto& s : playlist.segments) {
        if (s.mediaSequence <= last) continue;
        timeline_.push_back(TimelineSegment{.sequence = s.mediaSequence,
                                            .start = end,
                                            .duration = s.duration,
                                            .uri = s.uri,
                                            .keyURI = s.key ? playlist.keys[*s.key].uri : std::nullopt});
        end += s.duration;
    }
    const auto firstKept = std::find_if(timeline_.begin(), timeline_.end(),
                                        [&](const TimelineSegment& s) { return s.sequence >= playlist.mediaSequence; });
    timeline_.erase(timeline_.begin(), firstKept);
    targetDuration_ = playlist.targetDuration;
    return !timeline_.empty();
}

AVPlayerItem::KeyState* AVPlayerItem::findKey(const std::string& uri) {
    for (auto& key : keys_) {
        if (key.uri == uri) return &key;
    }
    return nullptr;
}

bool AVPlayerItem::isKeyAnswered(const std::string& uri) const {
    for (const auto& key : keys_) {
        if (key.uri == uri) return key.answered;
    }
    return false;
}

AVPlayerItem::TimelineSegment* AVPlayerItem::findSegment(std::int64_t sequence) {
    for (auto& s : timeline_) {
        if (s.sequence == sequence) return &s;
    }
    return nullptr;
}

bool AVPlayerItem::requestNewKeys(const hls::MediaPlaylist& playlist) {
    for (const auto& key : playlist.keys) {
        if (!key.uri) continue;
        const auto url = foundation::URL::fromString(*key.uri);
        if (!url || url->scheme() != "skd") {
            fail(AVError::make(AVError::unsupportedKeyMethod,
                               "The key " + *key.uri + " (METHOD=" + key.method +
                                   ") cannot be used: only skd:// content keys are supported."));
            return false;
        }
        if (findKey(*key.uri)) continue;
        keys_.push_back(KeyState{.uri = *key.uri});
        sendKeyRequest(*key.uri, false);
        if (phase_ == Phase::failed) return false;
    }
    return true;
}

void AVPlayerItem::sendKeyRequest(const std::string& uri, bool renewal) {
    KeyState* key = findKey(uri);
    auto url = foundation::URL::fromString(uri);
    if (!key || !url) return;
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    auto onFinish = [weak, uri](const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
        dispatch::DispatchQueue::main().async([weak, uri, request] {
            if (auto self = weak.lock()) self->keyAnswered(uri, request);
        });
    };
    foundation::URLRequest request(*url);
    std::shared_ptr<AVAssetResourceLoadingRequest> loading;
    if (renewal) {
        loading = AVAssetResourceRenewalRequest::create(request, {}, onFinish);
    } else {
        loading = AVAssetResourceLoadingRequest::create(request, {}, onFinish);
    }
    if (key->outstanding) key->outstanding->cancel();
    key->outstanding = loading;
    ++counters_.numberOfMediaRequests;
    std::static_pointer_cast<AVURLAsset>(asset_)->resourceLoader()->loadRequest(loading);
}

void AVPlayerItem::keyAnswered(const std::string& uri, const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
    if (phase_ == Phase::failed) return;
    KeyState* key = findKey(uri);
    if (!key || key->outstanding != request) return;
    key->outstanding.reset();
    if (auto error = request->error()) {
        fail(AVError::make(AVError::contentKeyRequestFailed,
                           "The content key request for " + uri + " failed: " + error->localizedDescription(), *error));
        return;
    }
    const foundation::Data answer =
        request->dataRequest() ? request->dataRequest()->respondedData() : foundation::Data();
    if (!contentkey::isContentKeyContext(answer)) {
        fail(AVError::make(AVError::invalidContentKey,
                           "The answer to the content key request for " + uri + " is not a content key."));
        return;
    }
    key->answered = true;
    key->renewalDate =
        request->contentInformationRequest() ? request->contentInformationRequest()->renewalDate() : std::nullopt;
    scheduleRenewal(*key);
    if (phase_ == Phase::requestingKeys) {
        if (std::all_of(keys_.begin(), keys_.end(), [](const KeyState& k) { return k.answered; })) beginBuffering();
        return;
    }
    pumpLoading();
}

void AVPlayerItem::scheduleRenewal(KeyState& key) {
    if (key.renewalTimer) dispatch::RunLoop::main().cancel(key.renewalTimer);
    key.renewalTimer = 0;
    if (!key.renewalDate || !player() || phase_ == Phase::failed) return;
    const double seconds = key.renewalDate->timeIntervalSince(foundation::Date::now());
    if (std::isnan(seconds)) return;
    const auto due = clockNow() + dispatch::nanosecondsFromSeconds(std::max(seconds, 0.0));
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    key.renewalTimer = dispatch::RunLoop::main().schedule(due, [weak, uri = key.uri] {
        auto self = weak.lock();
        if (!self) return;
        KeyState* k = self->findKey(uri);
        if (!k) return;
        k->renewalTimer = 0;
        k->renewalDate.reset();
        if (self->phase_ == Phase::failed || !self->player()) return;
        self->sendKeyRequest(uri, true);
    });
}

void AVPlayerItem::beginBuffering() {
    phase_ = Phase::buffering;
    double start = live_ ? liveEdge() : timelineStart();
    if (pendingStart_) start = clampToSeekable(*pendingStart_);
    pendingStart_.reset();
    jumpTo(start, clockNow());
    pumpLoading();
}

void AVPlayerItem::pumpLoading() {
    if ((phase_ != Phase::buffering && phase_ != Phase::ready) || !player()) return;
    const double pos = position();
    const auto index = segmentIndexAt(pos);
    std::optional<std::size_t> wanted;
    if (index) {
        const double horizon = pos + forwardBufferDuration();
        for (std::size_t i = *index; i < timeline_.size(); ++i) {
            const auto& s = timeline_[i];
            if (i > *index && s.start > horizon + kEpsilon) break;
            if (s.loaded) continue;
            if (s.keyURI && !isKeyAnswered(*s.keyURI)) break;
            wanted = i;
            break;
        }
    }
    if (segmentTask_) {
        if (wanted && timeline_[*wanted].sequence == segmentInFlight_) return;
        segmentTask_->cancel();
        segmentTask_.reset();
        segmentInFlight_ = -1;
    }
    if (!wanted) return;
    const auto& segment = timeline_[*wanted];
    const std::uint64_t id = ++segmentFetchId_;
    const std::int64_t sequence = segment.sequence;
    segmentInFlight_ = sequence;
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    segmentTask_ =
        session_->dataTask(foundation::URLRequest(segment.uri, kRequestTimeout),
                           [weak, id, sequence](auto data, auto response, auto error) {
                               auto self = weak.lock();
                               if (!self || self->segmentFetchId_ != id) return;
                               self->didFetchSegment(sequence, std::move(data), std::move(response), std::move(error));
                           });
    segmentTask_->resume();
}

void AVPlayerItem::didFetchSegment(std::int64_t sequence, std::optional<foundation::Data> data,
                                   std::optional<foundation::HTTPURLResponse> response,
                                   std::optional<foundation::Error> error) {
    segmentTask_.reset();
    segmentInFlight_ = -1;
    if (phase_ == Phase::failed) return;
    if (error && foundation::URLError::is(*error, foundation::URLError::cancelled)) return;
    TimelineSegment* segment = findSegment(sequence);
    if (!segment) {  // slid out of a live window meanwhile
        pumpLoading();
        return;
    }
    const std::string uri = segment->uri.absoluteString();
    const std::string where = "The segment at " + uri + " could not be loaded";
    std::optional<foundation::Error> problem;
    if (error || !response) {
        const foundation::Error cause = error ? *error : foundation::Error(AVError::make(AVError::unknown));
        logError(uri, cause);
        problem = AVError::make(AVError::segmentUnavailable, where + ": " + cause.localizedDescription(), cause);
    } else if (!isSuccess(response)) {
        const std::string status = std::to_string(response->statusCode);
        logError(uri, response->statusCode, kCoreMediaErrorDomain, "HTTP " + status);
        problem = AVError::make(AVError::segmentUnavailable, where + " (HTTP " + status + ").");
    }
    if (problem) {
        countRequest(0, 0);
        if (++segment->failures >= kSegmentAttempts) {
            fail(*problem);
            return;
        }
        pumpLoading();
        return;
    }
    segment->failures = 0;
    segment->loaded = true;
    countRequest(data ? static_cast<long long>(data->size()) : 0, segment->duration);
    if (phase_ == Phase::buffering) {
        if (isBufferedAt(anchorSeconds_)) {
            becomeReady();
            return;
        }
        updateRanges();
        pumpLoading();
        return;
    }
    updateRanges();
    notifyPlayer();
    pumpLoading();
}

void AVPlayerItem::becomeReady() {
    phase_ = Phase::ready;
    updateRanges();
    if (variant_ && variant_->resolution) {
        presentationSize_.set(coregraphics::CGSize{static_cast<double>(variant_->resolution->width),
                                                   static_cast<double>(variant_->resolution->height)});
    }
    counters_.playbackStartDate = foundation::Date::now();
    counters_.playbackStartOffset = anchorSeconds_;
    accessLogStarted_ = true;
    post(AVPlayerItemNewAccessLogEntryNotification);
    if (phase_ != Phase::ready) return;  // an observer replaced or failed it
    status_.set(Status::readyToPlay);
    scheduleReload();
    notifyPlayer();
    pumpLoading();
}

void AVPlayerItem::scheduleReload() {
    if (reloadTimer_) dispatch::RunLoop::main().cancel(reloadTimer_);
    reloadTimer_ = 0;
    if (!live_ || phase_ != Phase::ready || !player() || playlistTask_) return;
    const auto due = clockNow() + dispatch::nanosecondsFromSeconds(std::max(targetDuration_, 1.0));
    std::weak_ptr<AVPlayerItem> weak = weak_from_this();
    reloadTimer_ = dispatch::RunLoop::main().schedule(due, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->reloadTimer_ = 0;
        if (self->phase_ == Phase::ready && self->live_ && self->player()) self->fetchMediaPlaylist(false);
    });
}

void AVPlayerItem::updateRanges() {
    std::vector<coremedia::CMTimeRange> loaded;
    bool inRun = false;
    double runStart = 0;
    double runEnd = 0;
    for (const auto& s : timeline_) {
        if (!s.loaded) {
            if (inRun) loaded.push_back(coremedia::CMTimeRangeFromTimeToTime(timeAt(runStart), timeAt(runEnd)));
            inRun = false;
            continue;
        }
        if (!inRun) runStart = s.start;
        runEnd = s.start + s.duration;
        inRun = true;
    }
    if (inRun) loaded.push_back(coremedia::CMTimeRangeFromTimeToTime(timeAt(runStart), timeAt(runEnd)));
    if (loaded != loadedTimeRanges_.value()) loadedTimeRanges_.set(std::move(loaded));
    if (phase_ != Phase::ready) return;
    const double upper = live_ ? liveEdge() : timelineEnd();
    std::vector<coremedia::CMTimeRange> seekable{
        coremedia::CMTimeRangeFromTimeToTime(timeAt(timelineStart()), timeAt(upper))};
    const coremedia::CMTime duration = live_ ? coremedia::kCMTimeIndefinite : timeAt(timelineEnd());
    const coremedia::CMTime previous = duration_.value();
    if (previous.isIndefinite() != duration.isIndefinite() || (!duration.isIndefinite() && previous != duration)) {
        duration_.set(duration);
    }
    if (seekable != seekableTimeRanges_.value()) seekableTimeRanges_.set(std::move(seekable));
}

void AVPlayerItem::updateBufferEmpty() {
    const bool empty = !(phase_ == Phase::ready && isBufferedAt(position()));
    if (empty != isPlaybackBufferEmpty_.value()) isPlaybackBufferEmpty_.set(empty);
}

void AVPlayerItem::fail(foundation::Error error) {
    if (phase_ == Phase::failed) return;
    const bool wasReady = phase_ == Phase::ready;
    reanchor(clockNow());
    movingRate_ = 0;
    moveLimit_ = anchorSeconds_;
    phase_ = Phase::failed;
    error_ = error;
    stopActivity();
    for (auto& key : keys_) {
        if (key.outstanding) key.outstanding->cancel();
        key.outstanding.reset();
        key.renewalDate.reset();
    }
    logError(playlistAddress(), error);
    status_.set(Status::failed);
    if (wasReady) {
        post(AVPlayerItemFailedToPlayToEndTimeNotification,
             {{AVPlayerItemFailedToPlayToEndTimeErrorKey, std::any(error)}});
    }
    if (auto p = player()) p->itemDidFail(*this);
}

// ---- Logs and notifications ----

void AVPlayerItem::countRequest(long long bytes, double segmentDuration) {
    ++counters_.numberOfMediaRequests;
    counters_.numberOfBytesTransferred += bytes;
    counters_.segmentsDownloadedDuration += segmentDuration;
}

void AVPlayerItem::logError(const std::string& uri, int statusCode, const std::string& domain,
                            std::optional<std::string> comment) {
    if (!errorLog_) errorLog_.emplace();
    AVPlayerItemErrorLogEvent event;
    event.date = foundation::Date::now();
    event.uri = uri;
    if (auto url = foundation::URL::fromString(uri)) event.serverAddress = url->host();
    event.playbackSessionID = playbackSessionID_;
    event.errorStatusCode = statusCode;
    event.errorDomain = domain;
    event.errorComment = std::move(comment);
    errorLog_->events.push_back(std::move(event));
    post(AVPlayerItemNewErrorLogEntryNotification);
}

void AVPlayerItem::logError(const std::string& uri, const foundation::Error& error) {
    logError(uri, error.code(), error.domain(), error.localizedDescription());
}

void AVPlayerItem::post(const foundation::Notification::Name& name, std::map<std::string, std::any> userInfo) {
    foundation::NotificationCenter::defaultCenter().post(name, shared_from_this(), std::move(userInfo));
}

}  // namespace avfoundation
