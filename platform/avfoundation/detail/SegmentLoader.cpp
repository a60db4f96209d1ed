#include "avfoundation/detail/SegmentLoader.h"

#include <algorithm>
#include <cmath>

#include "avfoundation/AVError.h"
#include "avfoundation/detail/ItemLogs.h"
#include "foundation/URLError.h"

namespace avfoundation::detail {

namespace {

constexpr double kEpsilon = 1e-6;
constexpr double kAutomaticForwardBuffer = 30.0;
constexpr int kSegmentAttempts = 3;
constexpr double kRequestTimeout = 60.0;
constexpr const char* kCoreMediaErrorDomain = "CoreMediaErrorDomain";

bool isSuccess(const std::optional<foundation::HTTPURLResponse>& response) {
    return response && response->statusCode >= 200 && response->statusCode <= 299;
}

foundation::URLSessionConfiguration sessionConfiguration() {
    foundation::URLSessionConfiguration configuration;
    configuration.timeoutIntervalForRequest = kRequestTimeout;
    return configuration;
}

}  // namespace

// What a playlist fetch gave, worked out off the main queue.
struct SegmentLoader::PlaylistAnswer {
    long long bytes = 0;
    std::optional<foundation::Error> transportError;  // no HTTP answer
    std::optional<int> failedStatus;                  // an HTTP status outside 200...299
    std::optional<std::expected<hls::MediaPlaylist, hls::ParseError>> playlist;
};

SegmentLoader::SegmentLoader(Delegate& delegate, ItemLogs& logs)
    : delegate_(delegate),
      logs_(logs),
      // Playlists answer on a queue of the item's own, where they are read: a long read holds neither the
      // main queue nor a queue other sessions answer on.
      playlistSession_(foundation::URLSession::create(
          sessionConfiguration(), std::make_shared<dispatch::DispatchQueue>("avfoundation.playlist"))),
      segmentSession_(foundation::URLSession::create(sessionConfiguration(), dispatch::DispatchQueue::main())) {}

SegmentLoader::~SegmentLoader() {
    stop(true);
    playlistSession_->invalidateAndCancel();
    segmentSession_->invalidateAndCancel();
}

// ---- The media playlist ----

void SegmentLoader::fetchPlaylist(bool initial) {
    if (!playlistURL_) return;
    cancelPlaylistFetch();
    const std::uint64_t id = playlistFetchId_;
    const std::stop_token stop = playlistReading_.get_token();
    std::weak_ptr<SegmentLoader> weak = self_;
    std::weak_ptr<dispatch::DispatchQueue> readingQueue = readingQueue_;
    const bool elsewhere = readingQueue_ != nullptr;
    playlistTask_ = playlistSession_->dataTask(
        foundation::URLRequest(*playlistURL_, kRequestTimeout),
        [weak, id, initial, stop, readingQueue, elsewhere](auto data, auto response, auto error) {
            // On the playlist queue: the text is read here (or on the queue a test named), never on the main one.
            auto read = [weak, id, initial, stop, data = std::move(data), response = std::move(response),
                         error = std::move(error)]() mutable {
                if (stop.stop_requested()) return;
                PlaylistAnswer answer;
                answer.bytes = data ? static_cast<long long>(data->size()) : 0;
                if (error || !response) {
                    answer.transportError = error ? *error : foundation::Error(AVError::make(AVError::unknown));
                } else if (!isSuccess(response)) {
                    answer.failedStatus = response->statusCode;
                } else {
                    const std::string_view text =
                        data ? std::string_view(reinterpret_cast<const char*>(data->data()), data->size())
                             : std::string_view();
                    answer.playlist = hls::parseMedia(text, response->url, stop);
                }
                data.reset();
                if (stop.stop_requested()) return;
                dispatch::DispatchQueue::main().async([weak, id, initial, answer = std::move(answer)]() mutable {
                    auto self = weak.lock();
                    if (!self || self->playlistFetchId_ != id) return;
                    self->didFetchPlaylist(initial, std::move(answer));
                });
            };
            if (!elsewhere) {
                read();
            } else if (auto queue = readingQueue.lock()) {
                queue->async(std::move(read));
            }
        });
    playlistTask_->resume();
}

void SegmentLoader::cancelPlaylistFetch() {
    if (playlistTask_) playlistTask_->cancel();
    playlistTask_.reset();
    ++playlistFetchId_;
    playlistReading_.request_stop();
    playlistReading_ = std::stop_source();
}

void SegmentLoader::didFetchPlaylist(bool initial, PlaylistAnswer answer) {
    playlistTask_.reset();
    const std::string uri = playlistURL_->absoluteString();
    const std::string where = "The media playlist at " + uri + " could not be loaded";
    logs_.countRequest(answer.bytes, 0);
    std::optional<foundation::Error> problem;
    if (answer.transportError) {
        logs_.logError(uri, *answer.transportError);
        problem = AVError::make(AVError::playlistUnavailable,
                                where + ": " + answer.transportError->localizedDescription(), *answer.transportError);
    } else if (answer.failedStatus) {
        const std::string status = std::to_string(*answer.failedStatus);
        logs_.logError(uri, *answer.failedStatus, kCoreMediaErrorDomain, "HTTP " + status);
        problem = AVError::make(AVError::playlistUnavailable, where + " (HTTP " + status + ").");
    } else if (!*answer.playlist) {
        problem = foundation::Error(answer.playlist->error());
        if (!initial) logs_.logError(uri, *problem);
    }
    if (problem) {
        delegate_.loaderDidReadPlaylist(std::unexpected(*problem), initial);
        return;
    }
    delegate_.loaderDidReadPlaylist(std::move(**answer.playlist), initial);
}

void SegmentLoader::scheduleReload() {
    cancelReload();
    if (!live_ || playlistTask_) return;
    const auto due = dispatch::saturatingAdd(dispatch::Clock::current()->now(), std::max(targetDuration_, 1.0));
    std::weak_ptr<SegmentLoader> weak = self_;
    reloadTimer_ = dispatch::RunLoop::main().schedule(due, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->reloadTimer_ = 0;
        if (self->live_) self->fetchPlaylist(false);
    });
}

void SegmentLoader::cancelReload() {
    if (reloadTimer_) dispatch::RunLoop::main().cancel(reloadTimer_);
    reloadTimer_ = 0;
}

// ---- Segments ----

void SegmentLoader::setPreferredForwardBufferDuration(double seconds) {
    preferredForwardBufferDuration_ = (std::isfinite(seconds) && seconds > 0) ? seconds : 0;
}

double SegmentLoader::forwardBufferDuration() const {
    return preferredForwardBufferDuration_ > 0 ? preferredForwardBufferDuration_ : kAutomaticForwardBuffer;
}

void SegmentLoader::pump(double position) {
    std::optional<std::size_t> wanted;
    if (const auto index = timeline_.indexAt(position)) {
        // The first segment from the playhead on that is not loaded, within the forward buffer, whose key
        // is answered.
        if (auto next = timeline_.firstUnloadedFrom(*index)) {
            const bool withinBuffer =
                *next == *index || timeline_.startOf(*next) <= position + forwardBufferDuration() + kEpsilon;
            const auto key = timeline_.keyOf(*next);
            if (withinBuffer && (!key || delegate_.loaderIsKeyAnswered(*key))) wanted = next;
        }
    }
    if (segmentTask_) {
        if (wanted && timeline_.sequenceOf(*wanted) == segmentInFlight_) return;
        segmentTask_->cancel();
        segmentTask_.reset();
        segmentInFlight_ = -1;
    }
    if (!wanted) return;
    const auto& segment = timeline_.segment(*wanted);
    const std::uint64_t id = ++segmentFetchId_;
    const std::int64_t sequence = segment.mediaSequence;
    segmentInFlight_ = sequence;
    std::weak_ptr<SegmentLoader> weak = self_;
    segmentTask_ = segmentSession_->dataTask(foundation::URLRequest(segment.uri, kRequestTimeout),
                                             [weak, id, sequence](auto data, auto response, auto error) {
                                                 auto self = weak.lock();
                                                 if (!self || self->segmentFetchId_ != id) return;
                                                 self->didFetchSegment(sequence, std::move(data), std::move(response),
                                                                       std::move(error));
                                             });
    segmentTask_->resume();
}

void SegmentLoader::didFetchSegment(std::int64_t sequence, std::optional<foundation::Data> data,
                                    std::optional<foundation::HTTPURLResponse> response,
                                    std::optional<foundation::Error> error) {
    segmentTask_.reset();
    segmentInFlight_ = -1;
    if (error && foundation::URLError::is(*error, foundation::URLError::cancelled)) return;
    const auto index = timeline_.indexOf(sequence);
    if (!index) {  // slid out of a live window meanwhile
        delegate_.loaderIsIdle();
        return;
    }
    const hls::Segment& segment = timeline_.segment(*index);
    const std::string uri = segment.uri.absoluteString();
    const std::string where = "The segment at " + uri + " could not be loaded";
    std::optional<foundation::Error> problem;
    if (error || !response) {
        const foundation::Error cause = error ? *error : foundation::Error(AVError::make(AVError::unknown));
        logs_.logError(uri, cause);
        problem = AVError::make(AVError::segmentUnavailable, where + ": " + cause.localizedDescription(), cause);
    } else if (!isSuccess(response)) {
        const std::string status = std::to_string(response->statusCode);
        logs_.logError(uri, response->statusCode, kCoreMediaErrorDomain, "HTTP " + status);
        problem = AVError::make(AVError::segmentUnavailable, where + " (HTTP " + status + ").");
    }
    if (problem) {
        logs_.countRequest(0, 0);
        if (timeline_.recordFailure(*index) >= kSegmentAttempts) {
            delegate_.loaderDidFail(*problem);
            return;
        }
        delegate_.loaderIsIdle();
        return;
    }
    timeline_.markLoaded(*index);
    logs_.countRequest(data ? static_cast<long long>(data->size()) : 0, segment.duration);
    delegate_.loaderDidLoadSegment();
}

void SegmentLoader::stop(bool failed) {
    if (segmentTask_) segmentTask_->cancel();
    segmentTask_.reset();
    segmentInFlight_ = -1;
    ++segmentFetchId_;
    cancelReload();
    // A live reload in flight finishes and is merged; it only schedules the next one while attached.
    if (failed) cancelPlaylistFetch();
}

// ---- Questions about the loaded media ----

bool SegmentLoader::isAtEnd(double position, bool ready) const {
    return !live_ && ready && position >= timeline_.end() - kEpsilon;
}

bool SegmentLoader::isAtLiveEdge(double position) const {
    return live_ && position >= timeline_.end() - kEpsilon;
}

bool SegmentLoader::isBufferedAt(double position, bool ready) const {
    return isAtEnd(position, ready) || timeline_.contiguousLoadedEnd(position) > position + kEpsilon;
}

std::optional<double> SegmentLoader::nextGapStart(double position) const {
    const auto index = timeline_.indexAt(position);
    if (!index) return std::nullopt;
    const auto gap = timeline_.firstUnloadedFrom(*index);
    if (!gap) return std::nullopt;
    return timeline_.startOf(*gap);
}

double SegmentLoader::liveEdge() const {
    return std::max(timeline_.start(), timeline_.end() - 3 * targetDuration_);
}

// ---- The test seam ----

void SegmentLoader::injectFault(double at, foundation::Error error) {
    const auto place = std::upper_bound(faults_.begin(), faults_.end(), at,
                                        [](double a, const auto& fault) { return a < fault.first; });
    faults_.emplace(place, at, std::move(error));
}

std::optional<double> SegmentLoader::nextFault(double after) const {
    for (const auto& [at, error] : faults_) {
        if (at >= after) return at;
    }
    return std::nullopt;
}

std::optional<foundation::Error> SegmentLoader::takeFault(double from, double to) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->first >= from && it->first <= to) {
            foundation::Error error = std::move(it->second);
            faults_.erase(it);
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace avfoundation::detail
