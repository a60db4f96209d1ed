#include "playservice/PlayAssetAPIModel.h"

#include "playservice/PlayerEventFields.h"
#include "playservice/detail/JSONFields.h"

#include <array>
#include <utility>

// Each model is built in one expression, its fields decoded straight into their places in the order they are
// declared (the order in which keys are read, which decides the error reported first).

namespace lumora {

namespace {

using OptionalText = std::optional<std::string>;

// The template's client block, named by the one list of player-event fields and checked complete against it.
using C = PlayAssetAPIModel::TemplateClient;
using playerevent::ClientField;
constexpr std::array<std::pair<ClientField, OptionalText C::*>, playerevent::kFieldCount<ClientField>> kClientFields = {
    {
        {ClientField::buildName, &C::buildName},
        {ClientField::buildVersion, &C::buildVersion},
        {ClientField::deviceId, &C::deviceId},
        {ClientField::drm, &C::drm},
        {ClientField::envPlatform, &C::envPlatform},
        {ClientField::envVersion, &C::envVersion},
        {ClientField::pageUrl, &C::pageUrl},
        {ClientField::platform, &C::platform},
        {ClientField::playerEvent, &C::playerEvent},
        {ClientField::playerState, &C::playerState},
        {ClientField::streamUrl, &C::streamUrl},
        {ClientField::userAgent, &C::userAgent},
        {ClientField::videoFormat, &C::videoFormat},
        {ClientField::videoProtocol, &C::videoProtocol},
        {ClientField::viewingSession, &C::viewingSession},
    }};
static_assert(playerevent::coversEveryField(kClientFields));

}  // namespace

using detail::optionalFlag;
using detail::optionalNumber;
using detail::optionalText;

PlayAssetAPIModel::Protection PlayAssetAPIModel::Protection::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .drm = optionalText(c, "drm"),
        .certificateUrl = optionalText(c, "certificateUrl"),
    };
}

PlayAssetAPIModel::Stream PlayAssetAPIModel::Stream::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .manifestUrl = optionalText(c, "manifestUrl"),
        .mediaFormat = optionalText(c, "mediaFormat"),
        .provider = optionalText(c, "provider"),
        .protection = c.decodeIfPresent<Protection>("protection"),
        .isSsai = optionalFlag(c, "isSsai"),
        .streamingFormat = optionalText(c, "streamingFormat"),
        .codec = optionalText(c, "codec"),
        .adsUrl = optionalText(c, "adsUrl"),
    };
}

PlayAssetAPIModel::Marker PlayAssetAPIModel::Marker::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .type = optionalText(c, "type"),
        .startTime = optionalNumber(c, "startTime"),
        .endTime = optionalNumber(c, "endTime"),
    };
}

PlayAssetAPIModel::OzTam PlayAssetAPIModel::OzTam::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .publisherId = optionalText(c, "publisherId"),
        .mediaId = optionalText(c, "mediaId"),
        .mediaType = optionalText(c, "mediaType"),
        .seriesName = optionalText(c, "seriesName"),
        .episodeName = optionalText(c, "episodeName"),
        .channel = optionalText(c, "channel"),
    };
}

PlayAssetAPIModel::Youbora PlayAssetAPIModel::Youbora::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .accountCode = optionalText(c, "accountCode"),
        .appName = optionalText(c, "appName"),
        .appReleaseVersion = optionalText(c, "appReleaseVersion"),
        .contentCustomDimension1 = optionalText(c, "contentCustomDimension1"),
        .contentCustomDimension2 = optionalText(c, "contentCustomDimension2"),
        .contentCustomDimension4 = optionalText(c, "contentCustomDimension4"),
        .contentCustomDimension5 = optionalText(c, "contentCustomDimension5"),
        .contentCustomDimension6 = optionalText(c, "contentCustomDimension6"),
        .contentCustomDimension7 = optionalText(c, "contentCustomDimension7"),
        .contentCustomDimension8 = optionalText(c, "contentCustomDimension8"),
        .contentCustomDimension10 = optionalText(c, "contentCustomDimension10"),
        .contentId = optionalText(c, "contentId"),
        .contentTitle = optionalText(c, "contentTitle"),
        .contentTransactionCode = optionalText(c, "contentTransactionCode"),
        .contentType = optionalText(c, "contentType"),
        .contentChannel = optionalText(c, "contentChannel"),
        .contentGenre = optionalText(c, "contentGenre"),
        .contentLanguage = optionalText(c, "contentLanguage"),
        .contentSeason = optionalText(c, "contentSeason"),
        .contentTvShow = optionalText(c, "contentTvShow"),
        .contentEpisodeTitle = optionalText(c, "contentEpisodeTitle"),
        .contentProgram = optionalText(c, "contentProgram"),
        .contentPlaybackType = optionalText(c, "contentPlaybackType"),
        .contentSubtitles = optionalText(c, "contentSubtitles"),
        .contentPackage = optionalText(c, "contentPackage"),
        .contentSaga = optionalText(c, "contentSaga"),
        .userName = optionalText(c, "userName"),
        .userType = optionalText(c, "userType"),
    };
}

PlayAssetAPIModel::TemplateClient PlayAssetAPIModel::TemplateClient::decode(
    const foundation::KeyedDecodingContainer& c) {
    TemplateClient client;
    for (const auto& [field, member] : kClientFields) client.*member = optionalText(c, playerevent::nameOf(field));
    return client;
}

PlayAssetAPIModel::TemplateBody PlayAssetAPIModel::TemplateBody::decode(const foundation::KeyedDecodingContainer& c) {
    using F = playerevent::BodyField;
    using playerevent::nameOf;
    return {
        .eventName = optionalText(c, nameOf(F::eventName)),
        .originatorId = optionalText(c, nameOf(F::originatorId)),
        .subProfileId = optionalText(c, nameOf(F::subProfileId)),
        .versions = c.decodeIfPresent<std::vector<std::string>>(nameOf(F::versions)),
        .tenant = optionalText(c, nameOf(F::tenant)),
        .logData = optionalText(c, nameOf(F::logData)),
        .progress = c.decodeIfPresent<lumora::PlayerEventRequest::Progress>(nameOf(F::progress)),
        .originator = optionalText(c, nameOf(F::originator)),
        .client = c.decodeIfPresent<TemplateClient>(nameOf(F::client)),
        .timestamp = optionalText(c, nameOf(F::timestamp)),
    };
}

PlayAssetAPIModel::PlayerEventRequest PlayAssetAPIModel::PlayerEventRequest::decode(
    const foundation::KeyedDecodingContainer& c) {
    return {
        .uri = optionalText(c, "uri"),
        .eventInterval = optionalNumber(c, "eventInterval"),
        .subProfileId = optionalText(c, "subProfileId"),
        .body = c.decodeIfPresent<TemplateBody>("body"),
    };
}

PlayAssetAPIModel PlayAssetAPIModel::decode(const foundation::KeyedDecodingContainer& c) {
    return {
        .assetId = c.decode<std::string>("assetId"),
        .assetTitle = c.decode<std::string>("assetTitle"),
        .stream = c.decodeIfPresent<Stream>("stream"),
        .markers = c.decodeIfPresent<std::vector<Marker>>("markers"),
        .ozTam = c.decodeIfPresent<OzTam>("ozTam"),
        .youbora = c.decodeIfPresent<Youbora>("youbora"),
        .playerEventRequest = c.decodeIfPresent<PlayerEventRequest>("playerEventRequest"),
    };
}

}  // namespace lumora
