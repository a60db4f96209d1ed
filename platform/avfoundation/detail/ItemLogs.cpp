#include "avfoundation/detail/ItemLogs.h"

#include <atomic>

#include "foundation/Date.h"

namespace avfoundation::detail {

namespace {

std::string nextSessionID() {
    static std::atomic<std::uint64_t> counter{0};
    return "playback-session-" + std::to_string(++counter);
}

}  // namespace

ItemLogs::ItemLogs(Post post) : post_(std::move(post)) {
    counters_.playbackSessionID = nextSessionID();
}

void ItemLogs::setVariant(const hls::Variant& variant) {
    counters_.indicatedBitrate = static_cast<double>(variant.bandwidth);
    counters_.indicatedAverageBitrate = static_cast<double>(variant.averageBandwidth.value_or(0));
    counters_.uri = variant.uri.absoluteString();
    counters_.serverAddress = variant.uri.host();
}

void ItemLogs::countRequest(long long bytes, double segmentDuration) {
    ++counters_.numberOfMediaRequests;
    counters_.numberOfBytesTransferred += bytes;
    counters_.segmentsDownloadedDuration += segmentDuration;
}

void ItemLogs::start(double offset) {
    counters_.playbackStartDate = foundation::Date::now();
    counters_.playbackStartOffset = offset;
    started_ = true;
    post_(AVPlayerItemNewAccessLogEntryNotification);
}

void ItemLogs::switchVariant(double indicatedBitrate, double position) {
    if (started_) closed_.push_back(counters_);
    AVPlayerItemAccessLogEvent next;
    next.uri = counters_.uri;
    next.serverAddress = counters_.serverAddress;
    next.playbackSessionID = counters_.playbackSessionID;
    next.playbackStartDate = foundation::Date::now();
    next.playbackStartOffset = position;
    next.indicatedBitrate = indicatedBitrate;
    counters_ = std::move(next);
    started_ = true;
    post_(AVPlayerItemNewAccessLogEntryNotification);
}

void ItemLogs::logError(const std::string& uri, int statusCode, const std::string& domain,
                        std::optional<std::string> comment) {
    AVPlayerItemErrorLogEvent event;
    event.date = foundation::Date::now();
    event.uri = uri;
    if (auto url = foundation::URL::fromString(uri)) event.serverAddress = url->host();
    event.playbackSessionID = counters_.playbackSessionID;
    event.errorStatusCode = statusCode;
    event.errorDomain = domain;
    event.errorComment = std::move(comment);
    append(std::move(event));
}

void ItemLogs::logError(const std::string& uri, const foundation::Error& error) {
    logError(uri, error.code(), error.domain(), error.localizedDescription());
}

void ItemLogs::append(AVPlayerItemErrorLogEvent event) {
    if (!errorLog_) errorLog_.emplace();
    errorLog_->events.push_back(std::move(event));
    post_(AVPlayerItemNewErrorLogEntryNotification);
}

std::shared_ptr<const AVPlayerItemAccessLog> ItemLogs::accessLog() const {
    if (!started_) return nullptr;
    auto log = std::make_shared<AVPlayerItemAccessLog>(AVPlayerItemAccessLog{closed_});
    log->events.push_back(counters_);
    return log;
}

std::shared_ptr<const AVPlayerItemErrorLog> ItemLogs::errorLog() const {
    if (!errorLog_) return nullptr;
    return std::make_shared<const AVPlayerItemErrorLog>(*errorLog_);
}

}  // namespace avfoundation::detail
