#include "playservice/PlayerEventRequest.h"

#include "playservice/detail/JSONFields.h"

namespace lumora {

std::string_view PlayerEventRequest::Client::stringValue(CodingKeys key) {
    return playerevent::nameOf(key);
}
std::string_view PlayerEventRequest::Progress::Vod::stringValue(CodingKeys key) {
    return playerevent::nameOf(key);
}
std::string_view PlayerEventRequest::Progress::Live::stringValue(CodingKeys key) {
    return playerevent::nameOf(key);
}
std::string_view PlayerEventRequest::Progress::stringValue(CodingKeys key) {
    return playerevent::nameOf(key);
}
std::string_view PlayerEventRequest::Body::stringValue(CodingKeys key) {
    return playerevent::nameOf(key);
}

void PlayerEventRequest::Client::encode(foundation::KeyedEncodingContainer& c) const {
    using K = CodingKeys;
    c.encodeIfPresent(stringValue(K::buildName), buildName);
    c.encodeIfPresent(stringValue(K::buildVersion), buildVersion);
    c.encodeIfPresent(stringValue(K::deviceId), deviceId);
    c.encodeIfPresent(stringValue(K::drm), drm);
    c.encodeIfPresent(stringValue(K::envPlatform), envPlatform);
    c.encodeIfPresent(stringValue(K::envVersion), envVersion);
    c.encodeIfPresent(stringValue(K::pageUrl), pageUrl);
    c.encode(stringValue(K::platform), platform);
    c.encodeIfPresent(stringValue(K::playerEvent), playerEvent);
    c.encodeIfPresent(stringValue(K::playerState), playerState);
    c.encodeIfPresent(stringValue(K::streamUrl), streamUrl);
    c.encode(stringValue(K::userAgent), userAgent);
    c.encodeIfPresent(stringValue(K::videoFormat), videoFormat);
    c.encodeIfPresent(stringValue(K::videoProtocol), videoProtocol);
    c.encodeIfPresent(stringValue(K::viewingSession), viewingSession);
}

void PlayerEventRequest::Progress::Vod::encode(foundation::KeyedEncodingContainer& c) const {
    c.encodeIfPresent(stringValue(CodingKeys::duration), duration);
    c.encodeIfPresent(stringValue(CodingKeys::position), position);
}

PlayerEventRequest::Progress::Vod PlayerEventRequest::Progress::Vod::decode(
    const foundation::KeyedDecodingContainer& c) {
    return {
        .duration = detail::optionalNumber(c, stringValue(CodingKeys::duration)),
        .position = detail::optionalText(c, stringValue(CodingKeys::position)),
    };
}

void PlayerEventRequest::Progress::Live::encode(foundation::KeyedEncodingContainer& c) const {
    c.encodeIfPresent(stringValue(CodingKeys::onLiveEdge), onLiveEdge);
    c.encodeIfPresent(stringValue(CodingKeys::liveResumePossible), liveResumePossible);
    c.encodeIfPresent(stringValue(CodingKeys::position), position);
}

PlayerEventRequest::Progress::Live PlayerEventRequest::Progress::Live::decode(
    const foundation::KeyedDecodingContainer& c) {
    return {
        .onLiveEdge = detail::optionalText(c, stringValue(CodingKeys::onLiveEdge)),
        .liveResumePossible = detail::optionalText(c, stringValue(CodingKeys::liveResumePossible)),
        .position = detail::optionalText(c, stringValue(CodingKeys::position)),
    };
}

void PlayerEventRequest::Progress::encode(foundation::KeyedEncodingContainer& c) const {
    using K = CodingKeys;
    c.encodeIfPresent(stringValue(K::assetId), assetId);
    c.encodeIfPresent(stringValue(K::categoryId), categoryId);
    c.encodeIfPresent(stringValue(K::title), title);
    c.encodeIfPresent(stringValue(K::eventNumber), eventNumber);
    c.encodeIfPresent(stringValue(K::playbackType), playbackType);
    c.encodeIfPresent(stringValue(K::vod), vod);
    c.encodeIfPresent(stringValue(K::live), live);
}

PlayerEventRequest::Progress PlayerEventRequest::Progress::decode(const foundation::KeyedDecodingContainer& c) {
    using K = CodingKeys;
    // Built in one expression, each field decoded in its place, in the order declared (and read).
    return {
        .assetId = detail::optionalText(c, stringValue(K::assetId)),
        .categoryId = detail::optionalText(c, stringValue(K::categoryId)),
        .title = detail::optionalText(c, stringValue(K::title)),
        .eventNumber = c.decodeIfPresent<std::int64_t>(stringValue(K::eventNumber)),
        .playbackType = detail::optionalText(c, stringValue(K::playbackType)),
        .vod = c.decodeIfPresent<Vod>(stringValue(K::vod)),
        .live = c.decodeIfPresent<Live>(stringValue(K::live)),
    };
}

void PlayerEventRequest::Body::encode(foundation::KeyedEncodingContainer& c) const {
    using K = CodingKeys;
    c.encodeIfPresent(stringValue(K::eventName), eventName);
    c.encodeIfPresent(stringValue(K::originatorId), originatorId);
    c.encodeIfPresent(stringValue(K::subProfileId), subProfileId);
    c.encodeIfPresent(stringValue(K::versions), versions);
    c.encodeIfPresent(stringValue(K::tenant), tenant);
    c.encodeIfPresent(stringValue(K::logData), logData);
    c.encode(stringValue(K::client), client);
    c.encode(stringValue(K::originator), originator);
    c.encode(stringValue(K::timestamp), timestamp);
    c.encode(stringValue(K::progress), progress);
}

}  // namespace lumora
