#include "playservice/PlayAssetModelMapper.h"

#include <array>
#include <utility>

namespace lumora {

namespace {

using APIYoubora = PlayAssetAPIModel::Youbora;
using Youbora = PlayAsset::Youbora;
constexpr std::array<std::pair<std::optional<std::string> APIYoubora::*, std::string Youbora::*>, 28> kYoubora = {{
    {&APIYoubora::accountCode, &Youbora::accountCode},
    {&APIYoubora::appName, &Youbora::appName},
    {&APIYoubora::appReleaseVersion, &Youbora::appReleaseVersion},
    {&APIYoubora::contentCustomDimension1, &Youbora::contentCustomDimension1},
    {&APIYoubora::contentCustomDimension2, &Youbora::contentCustomDimension2},
    {&APIYoubora::contentCustomDimension4, &Youbora::contentCustomDimension4},
    {&APIYoubora::contentCustomDimension5, &Youbora::contentCustomDimension5},
    {&APIYoubora::contentCustomDimension6, &Youbora::contentCustomDimension6},
    {&APIYoubora::contentCustomDimension7, &Youbora::contentCustomDimension7},
    {&APIYoubora::contentCustomDimension8, &Youbora::contentCustomDimension8},
    {&APIYoubora::contentCustomDimension10, &Youbora::contentCustomDimension10},
    {&APIYoubora::contentId, &Youbora::contentId},
    {&APIYoubora::contentTitle, &Youbora::contentTitle},
    {&APIYoubora::contentTransactionCode, &Youbora::contentTransactionCode},
    {&APIYoubora::contentType, &Youbora::contentType},
    {&APIYoubora::contentChannel, &Youbora::contentChannel},
    {&APIYoubora::contentGenre, &Youbora::contentGenre},
    {&APIYoubora::contentLanguage, &Youbora::contentLanguage},
    {&APIYoubora::contentSeason, &Youbora::contentSeason},
    {&APIYoubora::contentTvShow, &Youbora::contentTvShow},
    {&APIYoubora::contentEpisodeTitle, &Youbora::contentEpisodeTitle},
    {&APIYoubora::contentProgram, &Youbora::contentProgram},
    {&APIYoubora::contentPlaybackType, &Youbora::contentPlaybackType},
    {&APIYoubora::contentSubtitles, &Youbora::contentSubtitles},
    {&APIYoubora::contentPackage, &Youbora::contentPackage},
    {&APIYoubora::contentSaga, &Youbora::contentSaga},
    {&APIYoubora::userName, &Youbora::userName},
    {&APIYoubora::userType, &Youbora::userType},
}};

std::optional<PlayAsset::Stream> mapStream(PlayAssetAPIModel::Stream&& api) {
    if (!api.manifestUrl || !api.mediaFormat) return std::nullopt;
    auto manifest = foundation::URL::fromString(std::move(*api.manifestUrl));
    if (!manifest) return std::nullopt;
    PlayAsset::Stream stream{.manifestURL = std::move(*manifest), .mediaFormat = std::move(*api.mediaFormat)};
    stream.provider = std::move(api.provider).value_or("");
    if (api.protection) {
        if (!api.protection->drm || !api.protection->certificateUrl) return std::nullopt;
        auto certificate = foundation::URL::fromString(std::move(*api.protection->certificateUrl));
        if (!certificate) return std::nullopt;
        stream.protection =
            PlayAsset::Stream::Protection::drm(std::move(*api.protection->drm), std::move(*certificate));
    }
    stream.isSSAI = api.isSsai.value_or(false);
    stream.streamingFormat = std::move(api.streamingFormat);
    stream.codec = std::move(api.codec);
    // The ads address is informative only; one that is not a URL is left out rather than failing the stream.
    if (api.adsUrl) stream.adsURL = foundation::URL::fromString(std::move(*api.adsUrl));
    return stream;
}

PlayerEventRequest::Body mapTemplate(PlayAssetAPIModel::TemplateBody&& t) {
    PlayerEventRequest::Body body;
    body.eventName = std::move(t.eventName);
    body.originatorId = std::move(t.originatorId);
    body.subProfileId = std::move(t.subProfileId);
    body.versions = std::move(t.versions);
    body.tenant = std::move(t.tenant);
    body.logData = std::move(t.logData);
    body.originator = std::move(t.originator).value_or("");
    body.timestamp = std::move(t.timestamp).value_or("");
    if (t.client) {
        body.client.drm = std::move(t.client->drm);
        body.client.platform = std::move(t.client->platform).value_or("");
        body.client.userAgent = std::move(t.client->userAgent).value_or("");
    }
    if (t.progress) {
        body.progress.assetId = std::move(t.progress->assetId);
        body.progress.categoryId = std::move(t.progress->categoryId);
        body.progress.title = std::move(t.progress->title);
        body.progress.playbackType = std::move(t.progress->playbackType);
    }
    return body;
}

std::optional<PlayerEventRequest> mapPlayerEventRequest(PlayAssetAPIModel::PlayerEventRequest&& api) {
    if (!api.uri || !api.eventInterval || !api.body) return std::nullopt;
    auto url = foundation::URL::fromString(std::move(*api.uri));
    if (!url) return std::nullopt;
    return PlayerEventRequest{.url = std::move(*url),
                              .eventInterval = *api.eventInterval,
                              .body = mapTemplate(std::move(*api.body)),
                              .subProfileId = std::move(api.subProfileId).value_or("")};
}

}  // namespace

std::string MapError::localizedDescription() const {
    switch (value_) {
        case missingStreamData:
            return "Missing stream data";
        case missingPlayerEventRequestData:
            return "Missing player event request data";
    }
    return {};
}

std::expected<PlayAsset, MapError> PlayAssetModelMapper::map(const PlayAssetAPIModel& model) {
    return map(PlayAssetAPIModel(model));
}

std::expected<PlayAsset, MapError> PlayAssetModelMapper::map(PlayAssetAPIModel&& model) {
    if (!model.stream) return std::unexpected(MapError::missingStreamData);
    auto stream = mapStream(std::move(*model.stream));
    if (!stream) return std::unexpected(MapError::missingStreamData);
    if (!model.playerEventRequest) return std::unexpected(MapError::missingPlayerEventRequestData);
    auto playerEventRequest = mapPlayerEventRequest(std::move(*model.playerEventRequest));
    if (!playerEventRequest) return std::unexpected(MapError::missingPlayerEventRequestData);

    PlayAsset asset{.stream = std::move(*stream),
                    .markers = {},
                    .ozTam = std::nullopt,
                    .youbora = {},
                    .playerEventRequest = std::move(*playerEventRequest),
                    .assetTitle = std::move(model.assetTitle),
                    .assetId = std::move(model.assetId)};
    if (model.markers) {
        for (const auto& m : *model.markers) {
            if (!m.type || !m.startTime || !m.endTime) continue;
            auto type = PlayAsset::Marker::MarkerType::fromRawValue(*m.type);
            if (!type) continue;
            asset.markers.push_back({.type = *type, .startTime = *m.startTime, .endTime = *m.endTime});
        }
    }
    if (model.ozTam) {
        auto& o = *model.ozTam;
        asset.ozTam = PlayAsset::OzTam{std::move(o.publisherId), std::move(o.mediaId),     std::move(o.mediaType),
                                       std::move(o.seriesName),  std::move(o.episodeName), std::move(o.channel)};
    }
    if (model.youbora) {
        auto& youbora = *model.youbora;
        for (const auto& [from, to] : kYoubora) asset.youbora.*to = std::move(youbora.*from).value_or("");
    }
    return asset;
}

std::string PlayAsset::Marker::MarkerType::rawValue() const {
    switch (value_) {
        case upNext:
            return "credits";
        case intro:
            return "intro-titles";
        case recap:
            return "re-cap";
    }
    return {};
}

std::optional<PlayAsset::Marker::MarkerType> PlayAsset::Marker::MarkerType::fromRawValue(std::string_view rawValue) {
    if (rawValue == "credits") return upNext;
    if (rawValue == "intro-titles") return intro;
    if (rawValue == "re-cap") return recap;
    return std::nullopt;
}

}  // namespace lumora
