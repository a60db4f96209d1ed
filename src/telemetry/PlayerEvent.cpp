#include "telemetry/PlayerEvent.h"

namespace lumora {

// Fields are read in declaration order; the container keeps the first failure, so a later read after a
// failure returns at once and the whole value fails with that first error.

VODProgress VODProgress::decode(const foundation::KeyedDecodingContainer& c) {
    VODProgress v;
    v.duration_ = c.decode<double>("duration");
    v.position_ = c.decode<std::string>("position");
    return v;
}

void VODProgress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("duration", duration_);
    c.encode("position", position_);
}

LiveProgress LiveProgress::decode(const foundation::KeyedDecodingContainer& c) {
    LiveProgress l;
    l.onLiveEdge_ = c.decode<std::string>("onLiveEdge");
    l.liveResumePossible_ = c.decode<std::string>("liveResumePossible");
    l.position_ = c.decode<std::string>("position");
    return l;
}

void LiveProgress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("onLiveEdge", onLiveEdge_);
    c.encode("liveResumePossible", liveResumePossible_);
    c.encode("position", position_);
}

Progress Progress::decode(const foundation::KeyedDecodingContainer& c) {
    Progress p;
    p.assetId_ = c.decode<std::string>("assetId");
    p.categoryId_ = c.decode<std::string>("categoryId");
    p.title_ = c.decode<std::string>("title");
    p.playbackType_ = c.decode<std::string>("playbackType");
    p.eventNumber_ = c.decode<std::int64_t>("eventNumber");
    p.vod_ = c.decodeIfPresent<VODProgress>("vod");
    p.live_ = c.decodeIfPresent<LiveProgress>("live");
    return p;
}

void Progress::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("assetId", assetId_);
    c.encode("categoryId", categoryId_);
    c.encode("title", title_);
    c.encode("playbackType", playbackType_);
    c.encode("eventNumber", eventNumber_);
    c.encodeIfPresent("vod", vod_);
    c.encodeIfPresent("live", live_);
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
    p.buildName_ = c.decode<std::string>("buildName");
    p.buildVersion_ = c.decode<std::string>("buildVersion");
    p.deviceId_ = c.decode<std::string>("deviceId");
    p.drm_ = c.decode<std::string>("drm");
    p.envPlatform_ = c.decode<std::string>("envPlatform");
    p.envVersion_ = c.decode<std::string>("envVersion");
    p.pageUrl_ = c.decode<std::string>("pageUrl");
    p.platform_ = c.decode<std::string>("platform");
    p.playerEvent_ = c.decode<std::string>("playerEvent");
    p.playerState_ = c.decode<std::string>("playerState");
    p.streamUrl_ = c.decode<std::string>("streamUrl");
    p.userAgent_ = c.decode<std::string>("userAgent");
    p.videoFormat_ = c.decode<std::string>("videoFormat");
    p.videoProtocol_ = c.decode<std::string>("videoProtocol");
    p.viewingSession_ = c.decode<std::string>("viewingSession");
    return p;
}

void PlayerEventClient::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("buildName", buildName_);
    c.encode("buildVersion", buildVersion_);
    c.encode("deviceId", deviceId_);
    c.encode("drm", drm_);
    c.encode("envPlatform", envPlatform_);
    c.encode("envVersion", envVersion_);
    c.encode("pageUrl", pageUrl_);
    c.encode("platform", platform_);
    c.encode("playerEvent", playerEvent_);
    c.encode("playerState", playerState_);
    c.encode("streamUrl", streamUrl_);
    c.encode("userAgent", userAgent_);
    c.encode("videoFormat", videoFormat_);
    c.encode("videoProtocol", videoProtocol_);
    c.encode("viewingSession", viewingSession_);
}

PlayerEventBody PlayerEventBody::decode(const foundation::KeyedDecodingContainer& c) {
    PlayerEventBody b;
    b.eventName_ = c.decode<std::string>("eventName");
    b.originatorId_ = c.decode<std::string>("originatorId");
    b.subProfileId_ = c.decode<std::string>("subProfileId");
    b.versions_ = c.decode<std::vector<std::string>>("versions");
    b.tenant_ = c.decode<std::string>("tenant");
    b.logData_ = c.decode<std::string>("logData");
    b.progress_ = c.decode<Progress>("progress");
    b.originator_ = c.decode<std::string>("originator");
    b.client_ = c.decode<PlayerEventClient>("client");
    b.timestamp_ = c.decode<std::string>("timestamp");
    return b;
}

void PlayerEventBody::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("eventName", eventName_);
    c.encode("originatorId", originatorId_);
    c.encode("subProfileId", subProfileId_);
    c.encode("versions", versions_);
    c.encode("tenant", tenant_);
    c.encode("logData", logData_);
    c.encode("progress", progress_);
    c.encode("originator", originator_);
    c.encode("client", client_);
    c.encode("timestamp", timestamp_);
}

PlayerEvent PlayerEvent::decode(const foundation::KeyedDecodingContainer& c) {
    PlayerEvent e;
    e.body_ = c.decode<PlayerEventBody>("body");
    e.eventInterval_ = c.decode<double>("eventInterval");
    e.uri_ = c.decode<std::string>("uri");
    return e;
}

}  // namespace lumora
