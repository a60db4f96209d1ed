#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/JSON.h"
#include "playservice/PlayerEventFields.h"

// The player-event object that the player-event service may attach to each play of its answer: a body
// of the same shape as the posted one, the event interval and the event address.
//
// Decoding is strict: every field is required (only `Progress::vod` and `Progress::live` may be missing
// or null), a missing key, a null and a value of another JSON type are distinct decoding errors naming
// the key, a number is never read as text nor text as a number, and keys not listed are ignored.
// Fields can be read but not assigned; a body or a progress block changes only through its setters.
//
// The default constructors exist because the decoder needs them (a failed decoding yields an empty
// value internally); they make empty values, never a valid decoded one.
namespace lumora {

// The playhead of an on-demand stream.
class VODProgress {
  public:
    VODProgress() = default;
    VODProgress(double duration, std::string position) : duration_(duration), position_(std::move(position)) {}

    // Seconds.
    double duration() const { return duration_; }
    // The playhead in seconds as decimal text.
    const std::string& position() const { return position_; }

    static VODProgress decode(const foundation::KeyedDecodingContainer& container);
    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const VODProgress&, const VODProgress&) = default;

  private:
    double duration_ = 0;
    std::string position_;
};

// The playhead of a live stream; all three are texts ("true"/"false", a date-time).
class LiveProgress {
  public:
    LiveProgress() = default;
    LiveProgress(std::string onLiveEdge, std::string liveResumePossible, std::string position)
        : onLiveEdge_(std::move(onLiveEdge)),
          liveResumePossible_(std::move(liveResumePossible)),
          position_(std::move(position)) {}

    const std::string& onLiveEdge() const { return onLiveEdge_; }
    const std::string& liveResumePossible() const { return liveResumePossible_; }
    const std::string& position() const { return position_; }

    static LiveProgress decode(const foundation::KeyedDecodingContainer& container);
    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const LiveProgress&, const LiveProgress&) = default;

  private:
    std::string onLiveEdge_;
    std::string liveResumePossible_;
    std::string position_;
};

// The progress block of a body.
class Progress {
  public:
    Progress() = default;

    const std::string& assetId() const { return assetId_; }
    const std::string& categoryId() const { return categoryId_; }
    const std::string& title() const { return title_; }
    const std::string& playbackType() const { return playbackType_; }
    std::int64_t eventNumber() const { return eventNumber_; }
    const std::optional<VODProgress>& vod() const { return vod_; }
    const std::optional<LiveProgress>& live() const { return live_; }

    void setEventNumber(std::int64_t eventNumber) { eventNumber_ = eventNumber; }
    // Sets the on-demand block; the live block is left as it is.
    void setVOD(VODProgress vod) { vod_ = std::move(vod); }
    // Sets the live block; the on-demand block is left as it is.
    void setLive(LiveProgress live) { live_ = std::move(live); }

    static Progress decode(const foundation::KeyedDecodingContainer& container);
    // `vod` and `live` are written only when present, never as null.
    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const Progress&, const Progress&) = default;

  private:
    std::string assetId_;
    std::string categoryId_;
    std::string title_;
    std::string playbackType_;
    std::int64_t eventNumber_ = 0;
    std::optional<VODProgress> vod_;
    std::optional<LiveProgress> live_;
};

// The client block of a body: fifteen texts.
class PlayerEventClient {
  public:
    PlayerEventClient() = default;
    PlayerEventClient(std::string buildName, std::string buildVersion, std::string deviceId, std::string drm,
                      std::string envPlatform, std::string envVersion, std::string pageUrl, std::string platform,
                      std::string playerEvent, std::string playerState, std::string streamUrl, std::string userAgent,
                      std::string videoFormat, std::string videoProtocol, std::string viewingSession);

    const std::string& buildName() const { return buildName_; }
    const std::string& buildVersion() const { return buildVersion_; }
    const std::string& deviceId() const { return deviceId_; }
    const std::string& drm() const { return drm_; }
    const std::string& envPlatform() const { return envPlatform_; }
    const std::string& envVersion() const { return envVersion_; }
    const std::string& pageUrl() const { return pageUrl_; }
    const std::string& platform() const { return platform_; }
    const std::string& playerEvent() const { return playerEvent_; }
    const std::string& playerState() const { return playerState_; }
    const std::string& streamUrl() const { return streamUrl_; }
    const std::string& userAgent() const { return userAgent_; }
    const std::string& videoFormat() const { return videoFormat_; }
    const std::string& videoProtocol() const { return videoProtocol_; }
    const std::string& viewingSession() const { return viewingSession_; }

    static PlayerEventClient decode(const foundation::KeyedDecodingContainer& container);
    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const PlayerEventClient&, const PlayerEventClient&) = default;

  private:
    std::string buildName_;
    std::string buildVersion_;
    std::string deviceId_;
    std::string drm_;
    std::string envPlatform_;
    std::string envVersion_;
    std::string pageUrl_;
    std::string platform_;
    std::string playerEvent_;
    std::string playerState_;
    std::string streamUrl_;
    std::string userAgent_;
    std::string videoFormat_;
    std::string videoProtocol_;
    std::string viewingSession_;

    // Each text with its key, read and written in the order of the client block's keys (that every key
    // is here once, in order, is checked when compiled).
    using Field = playerevent::ClientField;
    static constexpr std::array<std::pair<Field, std::string PlayerEventClient::*>, playerevent::kFieldCount<Field>>
        kFields = {{
            {Field::buildName, &PlayerEventClient::buildName_},
            {Field::buildVersion, &PlayerEventClient::buildVersion_},
            {Field::deviceId, &PlayerEventClient::deviceId_},
            {Field::drm, &PlayerEventClient::drm_},
            {Field::envPlatform, &PlayerEventClient::envPlatform_},
            {Field::envVersion, &PlayerEventClient::envVersion_},
            {Field::pageUrl, &PlayerEventClient::pageUrl_},
            {Field::platform, &PlayerEventClient::platform_},
            {Field::playerEvent, &PlayerEventClient::playerEvent_},
            {Field::playerState, &PlayerEventClient::playerState_},
            {Field::streamUrl, &PlayerEventClient::streamUrl_},
            {Field::userAgent, &PlayerEventClient::userAgent_},
            {Field::videoFormat, &PlayerEventClient::videoFormat_},
            {Field::videoProtocol, &PlayerEventClient::videoProtocol_},
            {Field::viewingSession, &PlayerEventClient::viewingSession_},
        }};
    static_assert(playerevent::coversEveryField(kFields));
};

// A body: written with `progress` before `originator`, `client` and `timestamp`.
class PlayerEventBody {
  public:
    PlayerEventBody() = default;

    const std::string& eventName() const { return eventName_; }
    const std::string& originatorId() const { return originatorId_; }
    const std::string& subProfileId() const { return subProfileId_; }
    const std::vector<std::string>& versions() const { return versions_; }
    const std::string& tenant() const { return tenant_; }
    const std::string& logData() const { return logData_; }
    const Progress& progress() const { return progress_; }
    const std::string& originator() const { return originator_; }
    const PlayerEventClient& client() const { return client_; }
    const std::string& timestamp() const { return timestamp_; }

    void setClient(PlayerEventClient client) { client_ = std::move(client); }
    void setOriginator(std::string originator) { originator_ = std::move(originator); }
    void setTimestamp(std::string timestamp) { timestamp_ = std::move(timestamp); }
    // Changes only the progress block's event number.
    void setEventNumber(std::int64_t eventNumber) { progress_.setEventNumber(eventNumber); }
    void setVOD(VODProgress vod) { progress_.setVOD(std::move(vod)); }
    void setLive(LiveProgress live) { progress_.setLive(std::move(live)); }

    static PlayerEventBody decode(const foundation::KeyedDecodingContainer& container);
    void encode(foundation::KeyedEncodingContainer& container) const;
    friend bool operator==(const PlayerEventBody&, const PlayerEventBody&) = default;

  private:
    std::string eventName_;
    std::string originatorId_;
    std::string subProfileId_;
    std::vector<std::string> versions_;
    std::string tenant_;
    std::string logData_;
    Progress progress_;
    std::string originator_;
    PlayerEventClient client_;
    std::string timestamp_;
};

// The player-event object: decoded only.
class PlayerEvent {
  public:
    PlayerEvent() = default;

    const PlayerEventBody& body() const { return body_; }
    // Seconds.
    double eventInterval() const { return eventInterval_; }
    const std::string& uri() const { return uri_; }

    static PlayerEvent decode(const foundation::KeyedDecodingContainer& container);
    friend bool operator==(const PlayerEvent&, const PlayerEvent&) = default;

  private:
    PlayerEventBody body_;
    double eventInterval_ = 0;
    std::string uri_;
};

}  // namespace lumora
