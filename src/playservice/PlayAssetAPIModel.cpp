#include "playservice/PlayAssetAPIModel.h"

#include "playservice/PlayerEventFields.h"
#include "playservice/detail/JSONFields.h"

#include <array>
#include <string_view>
#include <utility>

namespace lumora {

namespace {

using OptionalText = std::optional<std::string>;

template <class T, std::size_t N>
void decodeTexts(const foundation::KeyedDecodingContainer& c, T& out,
                 const std::array<std::pair<std::string_view, OptionalText T::*>, N>& fields) {
    for (const auto& [key, member] : fields) out.*member = detail::optionalText(c, key);
}

using Y = PlayAssetAPIModel::Youbora;
constexpr std::array<std::pair<std::string_view, OptionalText Y::*>, 28> kYouboraFields = {{
    {"accountCode", &Y::accountCode},
    {"appName", &Y::appName},
    {"appReleaseVersion", &Y::appReleaseVersion},
    {"contentCustomDimension1", &Y::contentCustomDimension1},
    {"contentCustomDimension2", &Y::contentCustomDimension2},
    {"contentCustomDimension4", &Y::contentCustomDimension4},
    {"contentCustomDimension5", &Y::contentCustomDimension5},
    {"contentCustomDimension6", &Y::contentCustomDimension6},
    {"contentCustomDimension7", &Y::contentCustomDimension7},
    {"contentCustomDimension8", &Y::contentCustomDimension8},
    {"contentCustomDimension10", &Y::contentCustomDimension10},
    {"contentId", &Y::contentId},
    {"contentTitle", &Y::contentTitle},
    {"contentTransactionCode", &Y::contentTransactionCode},
    {"contentType", &Y::contentType},
    {"contentChannel", &Y::contentChannel},
    {"contentGenre", &Y::contentGenre},
    {"contentLanguage", &Y::contentLanguage},
    {"contentSeason", &Y::contentSeason},
    {"contentTvShow", &Y::contentTvShow},
    {"contentEpisodeTitle", &Y::contentEpisodeTitle},
    {"contentProgram", &Y::contentProgram},
    {"contentPlaybackType", &Y::contentPlaybackType},
    {"contentSubtitles", &Y::contentSubtitles},
    {"contentPackage", &Y::contentPackage},
    {"contentSaga", &Y::contentSaga},
    {"userName", &Y::userName},
    {"userType", &Y::userType},
}};

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

using O = PlayAssetAPIModel::OzTam;
constexpr std::array<std::pair<std::string_view, OptionalText O::*>, 6> kOzTamFields = {{
    {"publisherId", &O::publisherId},
    {"mediaId", &O::mediaId},
    {"mediaType", &O::mediaType},
    {"seriesName", &O::seriesName},
    {"episodeName", &O::episodeName},
    {"channel", &O::channel},
}};

}  // namespace

PlayAssetAPIModel::Protection PlayAssetAPIModel::Protection::decode(const foundation::KeyedDecodingContainer& c) {
    Protection p;
    p.drm = detail::optionalText(c, "drm");
    p.certificateUrl = detail::optionalText(c, "certificateUrl");
    return p;
}

PlayAssetAPIModel::Stream PlayAssetAPIModel::Stream::decode(const foundation::KeyedDecodingContainer& c) {
    Stream s;
    s.manifestUrl = detail::optionalText(c, "manifestUrl");
    s.mediaFormat = detail::optionalText(c, "mediaFormat");
    s.provider = detail::optionalText(c, "provider");
    s.protection = c.decodeIfPresent<Protection>("protection");
    s.isSsai = detail::optionalFlag(c, "isSsai");
    s.streamingFormat = detail::optionalText(c, "streamingFormat");
    s.codec = detail::optionalText(c, "codec");
    s.adsUrl = detail::optionalText(c, "adsUrl");
    return s;
}

PlayAssetAPIModel::Marker PlayAssetAPIModel::Marker::decode(const foundation::KeyedDecodingContainer& c) {
    Marker m;
    m.type = detail::optionalText(c, "type");
    m.startTime = detail::optionalNumber(c, "startTime");
    m.endTime = detail::optionalNumber(c, "endTime");
    return m;
}

PlayAssetAPIModel::OzTam PlayAssetAPIModel::OzTam::decode(const foundation::KeyedDecodingContainer& c) {
    OzTam o;
    decodeTexts(c, o, kOzTamFields);
    return o;
}

PlayAssetAPIModel::Youbora PlayAssetAPIModel::Youbora::decode(const foundation::KeyedDecodingContainer& c) {
    Youbora y;
    decodeTexts(c, y, kYouboraFields);
    return y;
}

PlayAssetAPIModel::TemplateClient PlayAssetAPIModel::TemplateClient::decode(
    const foundation::KeyedDecodingContainer& c) {
    TemplateClient client;
    for (const auto& [field, member] : kClientFields)
        client.*member = detail::optionalText(c, playerevent::nameOf(field));
    return client;
}

PlayAssetAPIModel::TemplateBody PlayAssetAPIModel::TemplateBody::decode(const foundation::KeyedDecodingContainer& c) {
    using F = playerevent::BodyField;
    using playerevent::nameOf;
    TemplateBody b;
    b.eventName = detail::optionalText(c, nameOf(F::eventName));
    b.originatorId = detail::optionalText(c, nameOf(F::originatorId));
    b.subProfileId = detail::optionalText(c, nameOf(F::subProfileId));
    b.versions = c.decodeIfPresent<std::vector<std::string>>(nameOf(F::versions));
    b.tenant = detail::optionalText(c, nameOf(F::tenant));
    b.logData = detail::optionalText(c, nameOf(F::logData));
    b.progress = c.decodeIfPresent<lumora::PlayerEventRequest::Progress>(nameOf(F::progress));
    b.originator = detail::optionalText(c, nameOf(F::originator));
    b.client = c.decodeIfPresent<TemplateClient>(nameOf(F::client));
    b.timestamp = detail::optionalText(c, nameOf(F::timestamp));
    return b;
}

PlayAssetAPIModel::PlayerEventRequest PlayAssetAPIModel::PlayerEventRequest::decode(
    const foundation::KeyedDecodingContainer& c) {
    PlayerEventRequest r;
    r.uri = detail::optionalText(c, "uri");
    r.eventInterval = detail::optionalNumber(c, "eventInterval");
    r.subProfileId = detail::optionalText(c, "subProfileId");
    r.body = c.decodeIfPresent<TemplateBody>("body");
    return r;
}

PlayAssetAPIModel PlayAssetAPIModel::decode(const foundation::KeyedDecodingContainer& c) {
    PlayAssetAPIModel m;
    m.assetId = c.decode<std::string>("assetId");
    m.assetTitle = c.decode<std::string>("assetTitle");
    m.stream = c.decodeIfPresent<Stream>("stream");
    m.markers = c.decodeIfPresent<std::vector<Marker>>("markers");
    m.ozTam = c.decodeIfPresent<OzTam>("ozTam");
    m.youbora = c.decodeIfPresent<Youbora>("youbora");
    m.playerEventRequest = c.decodeIfPresent<PlayerEventRequest>("playerEventRequest");
    return m;
}

}  // namespace lumora
