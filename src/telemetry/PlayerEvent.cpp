#include "telemetry/PlayerEvent.h"

#include <array>
#include <utility>

namespace lumora {

// Fields are read in declaration order; the container keeps the first failure, so a later read after a
// failure returns at once and the whole value fails with that first error.

namespace {

using playerevent::BodyField;
using playerevent::ClientField;
using playerevent::LiveField;
using playerevent::nameOf;
using playerevent::ProgressField;
using playerevent::VodField;

}  // namespace

VODProgress VODProgress::decode(const foundation::KeyedDecodingContainer& c) {
    VODProgress v;
    v.duration_ = c.decode<double>(nameOf(VodField::duration));
    v.position_ = c.decode<std::string>(nameOf(VodField::position));
    return v;
}

void VODProgress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode(nameOf(VodField::duration), duration_);
    c.encode(nameOf(VodField::position), position_);
}

LiveProgress LiveProgress::decode(const foundation::KeyedDecodingContainer& c) {
    LiveProgress l;
    l.onLiveEdge_ = c.decode<std::string>(nameOf(LiveField::onLiveEdge));
    l.liveResumePossible_ = c.decode<std::string>(nameOf(LiveField::liveResumePossible));
    l.position_ = c.decode<std::string>(nameOf(LiveField::position));
    return l;
}

void LiveProgress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode(nameOf(LiveField::onLiveEdge), onLiveEdge_);
    c.encode(nameOf(LiveField::liveResumePossible), liveResumePossible_);
    c.encode(nameOf(LiveField::position), position_);
}

Progress Progress::decode(const foundation::KeyedDecodingContainer& c) {
    Progress p;
    p.assetId_ = c.decode<std::string>(nameOf(ProgressField::assetId));
    p.categoryId_ = c.decode<std::string>(nameOf(ProgressField::categoryId));
    p.title_ = c.decode<std::string>(nameOf(ProgressField::title));
    p.playbackType_ = c.decode<std::string>(nameOf(ProgressField::playbackType));
    p.eventNumber_ = c.decode<std::int64_t>(nameOf(ProgressField::eventNumber));
    p.vod_ = c.decodeIfPresent<VODProgress>(nameOf(ProgressField::vod));
    p.live_ = c.decodeIfPresent<LiveProgress>(nameOf(ProgressField::live));
    return p;
}

void Progress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode(nameOf(ProgressField::assetId), assetId_);
    c.encode(nameOf(ProgressField::categoryId), categoryId_);
    c.encode(nameOf(ProgressField::title), title_);
    c.encode(nameOf(ProgressField::playbackType), playbackType_);
    c.encode(nameOf(ProgressField::eventNumber), eventNumber_);
    c.encodeIfPresent(nameOf(ProgressField::vod), vod_);
    c.encodeIfPresent(nameOf(ProgressField::live), live_);
}

PlayerEventClient::PlayerEventClient(std::string buildName, std::string buildVersion, std::string deviceId,
                                     std::string drm, std::string envPlatform, std::string envVersion,
                                     std::string pageUrl, std::string platform, std::string playerEvent,
                                     std::string playerState, std::string streamUrl, std::string userAgent,
                                     std::string videoFormat, std::string videoProtocol, std::string viewingSession)
    : buildName_(std::move(buildName)),
      buildVersion_(std::move(buildVersion)),
      deviceId_(std::move(deviceId)),
      drm_(std::move(drm)),
      envPlatform_(std::move(envPlatform)),
      envVersion_(std::move(envVersion)),
      pageUrl_(std::move(pageUrl)),
      platform_(std::move(platform)),
      playerEvent_(std::move(playerEvent)),
      playerState_(std::move(playerState)),
      streamUrl_(std::move(streamUrl)),
      userAgent_(std::move(userAgent)),
      videoFormat_(std::move(videoFormat)),
      videoProtocol_(std::move(videoProtocol)),
      viewingSession_(std::move(viewingSession)) {}

PlayerEventClient PlayerEventClient::decode(const foundation::KeyedDecodingContainer& c) {
    PlayerEventClient p;
    for (const auto& [field, member] : kFields) p.*member = c.decode<std::string>(nameOf(field));
    return p;
}

void PlayerEventClient::encode(foundation::KeyedEncodingContainer& c) const {
    for (const auto& [field, member] : kFields) c.encode(nameOf(field), this->*member);
}

PlayerEventBody PlayerEventBody::decode(const foundation::KeyedDecodingContainer& c) {
    PlayerEventBody b;
    b.eventName_ = c.decode<std::string>(nameOf(BodyField::eventName));
    b.originatorId_ = c.decode<std::string>(nameOf(BodyField::originatorId));
    b.subProfileId_ = c.decode<std::string>(nameOf(BodyField::subProfileId));
    b.versions_ = c.decode<std::vector<std::string>>(nameOf(BodyField::versions));
    b.tenant_ = c.decode<std::string>(nameOf(BodyField::tenant));
    b.logData_ = c.decode<std::string>(nameOf(BodyField::logData));
    b.progress_ = c.decode<Progress>(nameOf(BodyField::progress));
    b.originator_ = c.decode<std::string>(nameOf(BodyField::originator));
    b.client_ = c.decode<PlayerEventClient>(nameOf(BodyField::client));
    b.timestamp_ = c.decode<std::string>(nameOf(BodyField::timestamp));
    return b;
}

void PlayerEventBody::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode(nameOf(BodyField::eventName), eventName_);
    c.encode(nameOf(BodyField::originatorId), originatorId_);
    c.encode(nameOf(BodyField::subProfileId), subProfileId_);
    c.encode(nameOf(BodyField::versions), versions_);
    c.encode(nameOf(BodyField::tenant), tenant_);
    c.encode(nameOf(BodyField::logData), logData_);
    c.encode(nameOf(BodyField::progress), progress_);
    c.encode(nameOf(BodyField::originator), originator_);
    c.encode(nameOf(BodyField::client), client_);
    c.encode(nameOf(BodyField::timestamp), timestamp_);
}

PlayerEvent PlayerEvent::decode(const foundation::KeyedDecodingContainer& c) {
    PlayerEvent e;
    e.body_ = c.decode<PlayerEventBody>("body");
    e.eventInterval_ = c.decode<double>("eventInterval");
    e.uri_ = c.decode<std::string>("uri");
    return e;
}

}  // namespace lumora
