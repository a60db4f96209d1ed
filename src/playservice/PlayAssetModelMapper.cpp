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

// The stream, once its addresses have been read (they are what can fail).
PlayAsset::Stream makeStream(PlayAssetAPIModel::Stream&& api, foundation::URL manifest,
                             std::optional<foundation::URL> certificate) {
    PlayAsset::Stream stream{.manifestURL = std::move(manifest), .mediaFormat = std::move(*api.mediaFormat)};
    stream.provider = std::move(api.provider).value_or("");
    if (certificate) {
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

// The asset made by `make` straight where the caller keeps it (`std::expected(std::in_place, MadeBy{...})`):
// its many texts are moved once, out of the answer, and not again on the way out.
template <class F>
struct MadeBy {
    F make;
    operator PlayAsset() { return make(); }  // NOLINT(google-explicit-constructor)
};
template <class F>
MadeBy(F) -> MadeBy<F>;

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
    // First what can fail: the stream and its addresses, then the player-event request and its address.
    if (!model.stream) return std::unexpected(MapError::missingStreamData);
    PlayAssetAPIModel::Stream& stream = *model.stream;
    if (!stream.manifestUrl || !stream.mediaFormat) return std::unexpected(MapError::missingStreamData);
    auto manifest = foundation::URL::fromString(std::move(*stream.manifestUrl));
    if (!manifest) return std::unexpected(MapError::missingStreamData);
    std::optional<foundation::URL> certificate;
    if (stream.protection) {
        if (!stream.protection->drm || !stream.protection->certificateUrl) {
            return std::unexpected(MapError::missingStreamData);
        }
        certificate = foundation::URL::fromString(std::move(*stream.protection->certificateUrl));
        if (!certificate) return std::unexpected(MapError::missingStreamData);
    }
    if (!model.playerEventRequest) return std::unexpected(MapError::missingPlayerEventRequestData);
    PlayAssetAPIModel::PlayerEventRequest& events = *model.playerEventRequest;
    if (!events.uri || !events.eventInterval || !events.body) {
        return std::unexpected(MapError::missingPlayerEventRequestData);
    }
    auto eventsURL = foundation::URL::fromString(std::move(*events.uri));
    if (!eventsURL) return std::unexpected(MapError::missingPlayerEventRequestData);

    return std::expected<PlayAsset, MapError>(
        std::in_place, MadeBy{[&] {
            PlayAsset asset{.stream = makeStream(std::move(stream), std::move(*manifest), std::move(certificate)),
                            .markers = {},
                            .ozTam = std::nullopt,
                            .youbora = {},
                            .playerEventRequest = {.url = std::move(*eventsURL),
                                                   .eventInterval = *events.eventInterval,
                                                   .body = mapTemplate(std::move(*events.body)),
                                                   .subProfileId = std::move(events.subProfileId).value_or("")},
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
                asset.ozTam =
                    PlayAsset::OzTam{std::move(o.publisherId), std::move(o.mediaId),     std::move(o.mediaType),
                                     std::move(o.seriesName),  std::move(o.episodeName), std::move(o.channel)};
            }
            if (model.youbora) {
                auto& youbora = *model.youbora;
                for (const auto& [from, to] : kYoubora) asset.youbora.*to = std::move(youbora.*from).value_or("");
            }
            return asset;
        }});
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
