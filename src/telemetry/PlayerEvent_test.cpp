#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "foundation/JSON.h"
#include "playservice/PlayerEventRequest.h"
#include "telemetry/AssetPlays.h"
#include "telemetry/PlayerEvent.h"

namespace lumora {
namespace {

using foundation::DecodingError;
using foundation::JSONValue;

JSONValue validClient() {
    JSONValue c = JSONValue::object();
    for (const char* key :
         {"buildName", "buildVersion", "deviceId", "drm", "envPlatform", "envVersion", "pageUrl", "platform",
          "playerEvent", "playerState", "streamUrl", "userAgent", "videoFormat", "videoProtocol", "viewingSession"}) {
        c[key] = std::string("v-") + key;
    }
    return c;
}

JSONValue validPlayerEvent() {
    return JSONValue{
        {"body",
         {{"eventName", "playerEvent"},
          {"originatorId", "o1"},
          {"subProfileId", "p1"},
          {"versions", {"1.0", "2.0"}},
          {"tenant", "t"},
          {"logData", "l"},
          {"progress",
           {{"assetId", "a1"}, {"categoryId", "c1"}, {"title", "T"}, {"playbackType", "vod"}, {"eventNumber", 4}}},
          {"originator", "server"},
          {"client", validClient()},
          {"timestamp", "2024-01-01T00:00:00.000"}}},
        {"eventInterval", 30},
        {"uri", "http://127.0.0.1/e"},
    };
}

// The decoding error of `json` as a PlayerEvent (fails the test when it decodes).
DecodingError failure(const JSONValue& json) {
    auto decoded = foundation::JSONDecoder().decode<PlayerEvent>(json);
    EXPECT_FALSE(decoded) << json.dump();
    if (decoded) return DecodingError::dataCorrupted({});
    const auto* error = decoded.error().as<DecodingError>();
    EXPECT_NE(error, nullptr);
    return error ? *error : DecodingError::dataCorrupted({});
}

TEST(PlayerEventModel, DecodesAValidObjectAndIgnoresUnknownKeysAtEveryLevel) {
    JSONValue json = validPlayerEvent();
    json["extra"] = 1;
    json["body"]["extra"] = true;
    json["body"]["client"]["extra"] = nullptr;
    json["body"]["progress"]["extra"] = "x";
    json["eventInterval"] = 30.5;
    auto decoded = foundation::JSONDecoder().decode<PlayerEvent>(json);
    ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
    EXPECT_EQ(decoded->eventInterval(), 30.5);
    EXPECT_EQ(decoded->uri(), "http://127.0.0.1/e");
    EXPECT_EQ(decoded->body().versions(), (std::vector<std::string>{"1.0", "2.0"}));
    EXPECT_EQ(decoded->body().progress().eventNumber(), 4);
    EXPECT_EQ(decoded->body().client().viewingSession(), "v-viewingSession");
    EXPECT_FALSE(decoded->body().progress().vod());
    EXPECT_FALSE(decoded->body().progress().live());

    json["eventInterval"] = 30;
    EXPECT_EQ(foundation::JSONDecoder().decode<PlayerEvent>(json)->eventInterval(), 30.0);
}

TEST(PlayerEventModel, MissingKeyNullAndWrongTypeAreDistinctErrorsNamingTheKey) {
    JSONValue json = validPlayerEvent();
    json.erase("uri");
    auto e = failure(json);
    EXPECT_TRUE(e.isKeyNotFound());
    EXPECT_EQ(e.key(), "uri");

    json["uri"] = nullptr;
    e = failure(json);
    EXPECT_TRUE(e.isValueNotFound());
    EXPECT_EQ(e.keyPath(), "uri");

    json = validPlayerEvent();
    json["body"]["client"].erase("viewingSession");
    e = failure(json);
    EXPECT_TRUE(e.isKeyNotFound());
    EXPECT_EQ(e.keyPath(), "body.client.viewingSession");

    // Every required field of the body, the client and the progress block is required.
    for (const char* key : {"eventName", "originatorId", "subProfileId", "versions", "tenant", "logData", "progress",
                            "originator", "client", "timestamp"}) {
        json = validPlayerEvent();
        json["body"].erase(key);
        e = failure(json);
        EXPECT_TRUE(e.isKeyNotFound()) << key;
        EXPECT_EQ(e.key(), key);
    }
    for (const char* key : {"assetId", "categoryId", "title", "playbackType", "eventNumber"}) {
        json = validPlayerEvent();
        json["body"]["progress"][key] = nullptr;
        e = failure(json);
        EXPECT_TRUE(e.isValueNotFound()) << key;
        EXPECT_EQ(e.keyPath(), std::string("body.progress.") + key);
    }
}

TEST(PlayerEventModel, NumbersAndTextsNeverStandInForEachOther) {
    struct Case {
        const char* pointer;
        JSONValue value;
        const char* keyPath;
    };
    const Case cases[] = {
        {"/body/progress/eventNumber", 3.5, "body.progress.eventNumber"},
        {"/body/progress/eventNumber", "3", "body.progress.eventNumber"},
        {"/body/progress/live", JSONValue{{"onLiveEdge", true}, {"liveResumePossible", "false"}, {"position", "p"}},
         "body.progress.live.onLiveEdge"},
        {"/body/progress/vod", JSONValue{{"duration", 10}, {"position", 1.5}}, "body.progress.vod.position"},
        {"/body/progress/vod", JSONValue{{"duration", "10"}, {"position", "1.5"}}, "body.progress.vod.duration"},
        {"/body/versions", JSONValue::array({"1", 2}), "body.versions[1]"},
        {"/eventInterval", "30", "eventInterval"},
        {"/body/client/drm", 0, "body.client.drm"},
    };
    for (const auto& c : cases) {
        JSONValue json = validPlayerEvent();
        json[JSONValue::json_pointer(c.pointer)] = c.value;
        auto e = failure(json);
        EXPECT_TRUE(e.isTypeMismatch()) << c.pointer << " " << e.localizedDescription();
        EXPECT_EQ(e.keyPath(), c.keyPath);
    }
}

TEST(PlayerEventModel, OptionalBlocksAndInPlaceSetters) {
    JSONValue json = validPlayerEvent()["body"];
    json["versions"] = JSONValue::array();
    json["progress"]["vod"] = nullptr;
    auto body = foundation::JSONDecoder().decode<PlayerEventBody>(json);
    ASSERT_TRUE(body) << body.error().localizedDescription();
    EXPECT_TRUE(body->versions().empty());
    EXPECT_FALSE(body->progress().vod());
    EXPECT_FALSE(body->progress().live());

    auto encoded = foundation::JSONEncoder().encodeToValue(*body);
    ASSERT_TRUE(encoded);
    EXPECT_FALSE(encoded->at("progress").contains("vod"));
    EXPECT_FALSE(encoded->at("progress").contains("live"));
    // Written in declaration order: progress before originator, client and timestamp.
    std::vector<std::string> keys;
    for (auto it = encoded->begin(); it != encoded->end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"eventName", "originatorId", "subProfileId", "versions", "tenant",
                                              "logData", "progress", "originator", "client", "timestamp"}));

    PlayerEventBody changed = *body;
    changed.setEventNumber(99);
    auto after = foundation::JSONEncoder().encodeToValue(changed);
    JSONValue expected = *encoded;
    expected["progress"]["eventNumber"] = 99;
    EXPECT_EQ(*after, expected);

    changed.setVOD(VODProgress(120, "12.5"));
    changed.setLive(LiveProgress("true", "false", "2024-01-01T00:00:00.000"));
    after = foundation::JSONEncoder().encodeToValue(changed);
    EXPECT_EQ(after->at("progress").at("vod"), (JSONValue{{"duration", 120.0}, {"position", "12.5"}}));
    EXPECT_EQ(after->at("progress").at("live").at("onLiveEdge"), "true");

    changed.setClient(
        PlayerEventClient("b", "bv", "d", "", "ep", "ev", "pu", "pl", "pe", "ps", "su", "ua", "vf", "vp", "vs"));
    changed.setOriginator("ios_app");
    changed.setTimestamp("ts");
    EXPECT_EQ(changed.client().viewingSession(), "vs");
    EXPECT_EQ(changed.originator(), "ios_app");
    EXPECT_EQ(changed.timestamp(), "ts");
    // Encoded and decoded again, it is the same value.
    auto text = foundation::JSONEncoder().encode(changed);
    ASSERT_TRUE(text);
    EXPECT_EQ(foundation::JSONDecoder().decode<PlayerEventBody>(*text).value(), changed);

    // A present optional block must decode completely.
    json["progress"]["vod"] = JSONValue{{"duration", 1}};
    auto partial = foundation::JSONDecoder().decode<PlayerEventBody>(json);
    ASSERT_FALSE(partial);
    EXPECT_EQ(partial.error().as<DecodingError>()->keyPath(), "progress.vod.position");
}

// ---- the answer ----

JSONValue validStream(const char* format = "hls-ts") {
    return JSONValue{{"id", "s1"},
                     {"bitrate", 5000000},
                     {"mediaFormat", format},
                     {"mimeType", "application/vnd.apple.mpegurl"},
                     {"provider", "p"},
                     {"manifest", {{"uri", "http://127.0.0.1/m.m3u8"}}}};
}

JSONValue validPlay() {
    return JSONValue{{"assetId", "a1"},
                     {"assetTitle", "T"},
                     {"categoryId", "c"},
                     {"startTime", 0},
                     {"endTime", 120.5},
                     {"duration", 120},
                     {"isDrmProtected", false},
                     {"isLive", false},
                     {"recommendedStream", validStream()},
                     {"alternativeStreams", JSONValue::array()},
                     {"playerEventRequest", validPlayerEvent()},
                     {"assetType", "vod"}};
}

std::expected<AssetPlays, foundation::Error> decodeAnswer(const JSONValue& json) {
    return foundation::JSONDecoder().decode<AssetPlays>(json);
}

TEST(PlayerEventModel, APostedBodyReadsBackAsTheServicesBodyKeyForKey) {
    // The three types of a player-event body (the posted one, the template of the play answer, the one
    // the service answers with) take their keys from one list: a body written whole by the first is read
    // whole by the third, and written again with the same keys and values.
    PlayerEventRequest::Body posted;
    posted.eventName = "playerEvent", posted.originatorId = "o1", posted.subProfileId = "p1";
    posted.versions = std::vector<std::string>{"1.0"}, posted.tenant = "t", posted.logData = "l";
    posted.originator = "ios_app", posted.timestamp = "2024-01-01T00:00:00.000";
    auto& c = posted.client;
    c.buildName = "b", c.buildVersion = "1", c.deviceId = "D", c.drm = "fairplay", c.envPlatform = "iOS";
    c.envVersion = "17", c.pageUrl = "video", c.platform = "ios", c.playerEvent = "period";
    c.playerState = "playing", c.streamUrl = "u", c.userAgent = "UA", c.videoFormat = "hls";
    c.videoProtocol = "https", c.viewingSession = "D";
    posted.progress = {.assetId = "a1",
                       .categoryId = "c1",
                       .title = "T",
                       .eventNumber = 4,
                       .playbackType = "vod",
                       .vod = PlayerEventRequest::Progress::Vod{.duration = 120, .position = "3.0"},
                       .live = PlayerEventRequest::Progress::Live{
                           .onLiveEdge = "true", .liveResumePossible = "false", .position = "2024-01-01T00:00:00.000"}};
    const auto written = foundation::JSONEncoder().encodeToValue(posted);
    ASSERT_TRUE(written);
    const auto read = foundation::JSONDecoder().decode<PlayerEventBody>(*written);
    ASSERT_TRUE(read) << read.error().localizedDescription();
    EXPECT_EQ(read->client().videoProtocol(), "https");
    EXPECT_EQ(read->progress().live()->liveResumePossible(), "false");
    // Compared as unordered objects: the two types write their blocks in different orders.
    const auto again = foundation::JSONEncoder().encodeToValue(*read);
    ASSERT_TRUE(again);
    EXPECT_EQ(nlohmann::json::parse(again->dump()), nlohmann::json::parse(written->dump()));
}

TEST(AssetPlaysAnswer, DecodesPlaysWithOptionalPartsMissingOrNull) {
    auto empty = decodeAnswer(JSONValue{{"data", JSONValue::array()}});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->play.empty());

    JSONValue full = validPlay();
    full["unknown"] = {{"x", 1}};
    full["recommendedStream"]["unknown"] = 1;
    JSONValue bare = validPlay();
    bare["playerEventRequest"] = nullptr;
    bare.erase("assetType");
    bare["recommendedStream"].erase("provider");
    bare["alternativeStreams"] = JSONValue::array({validStream("ssai-drm-hls-hevc")});
    bare["alternativeStreams"][0]["provider"] = nullptr;
    auto answer = decodeAnswer(JSONValue{{"data", {full, bare}}, {"meta", "ignored"}});
    ASSERT_TRUE(answer) << answer.error().localizedDescription();
    ASSERT_EQ(answer->play.size(), 2u);
    const AssetPlay& first = answer->play[0];
    EXPECT_EQ(first.id, "a1");
    EXPECT_EQ(first.title, "T");
    EXPECT_EQ(first.endTime, 120.5);
    EXPECT_EQ(first.duration, 120.0);
    EXPECT_EQ(first.stream.bitrate, 5000000);
    EXPECT_EQ(first.stream.provider, "p");
    EXPECT_EQ(first.stream.manifest.uri, "http://127.0.0.1/m.m3u8");
    ASSERT_TRUE(first.event);
    EXPECT_EQ(first.event->body().progress().assetId(), "a1");
    EXPECT_EQ(first.assetType, "vod");
    const AssetPlay& second = answer->play[1];
    EXPECT_FALSE(second.event);
    EXPECT_FALSE(second.assetType);
    EXPECT_FALSE(second.stream.provider);
    ASSERT_EQ(second.alternativeStreams.size(), 1u);
    EXPECT_EQ(second.alternativeStreams[0].mediaFormat, MediaFormat::ssaiDRMHlsHEVC);
    EXPECT_FALSE(second.alternativeStreams[0].provider);
}

TEST(AssetPlaysAnswer, AnyFailureFailsTheWholeAnswer) {
    EXPECT_TRUE(decodeAnswer(JSONValue::object()).error().as<DecodingError>()->isKeyNotFound());
    EXPECT_TRUE(decodeAnswer(JSONValue{{"data", nullptr}}).error().as<DecodingError>()->isValueNotFound());

    auto failsAt = [](JSONValue play, const char* keyPath) {
        auto answer = decodeAnswer(JSONValue{{"data", {validPlay(), std::move(play)}}});
        ASSERT_FALSE(answer) << keyPath;
        const auto* error = answer.error().as<DecodingError>();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->keyPath(), keyPath) << error->localizedDescription();
    };
    JSONValue play = validPlay();
    play.erase("alternativeStreams");
    failsAt(play, "data[1].alternativeStreams");
    play = validPlay();
    play["recommendedStream"]["bitrate"] = 1.5;
    failsAt(play, "data[1].recommendedStream.bitrate");
    play = validPlay();
    play["recommendedStream"]["mediaFormat"] = "HLS-TS";
    failsAt(play, "data[1].recommendedStream.mediaFormat");
    play = validPlay();
    play["recommendedStream"]["mediaFormat"] = "hls_ts";
    failsAt(play, "data[1].recommendedStream.mediaFormat");
    play = validPlay();
    play["isLive"] = "false";
    failsAt(play, "data[1].isLive");
    play = validPlay();
    play["playerEventRequest"]["body"]["progress"].erase("title");
    failsAt(play, "data[1].playerEventRequest.body.progress.title");

    play = validPlay();
    play["recommendedStream"]["mediaFormat"] = "hls_ts";
    auto answer = decodeAnswer(JSONValue{{"data", {play}}});
    EXPECT_TRUE(answer.error().as<DecodingError>()->isDataCorrupted());
}

TEST(AssetPlaysAnswer, MediaFormatRawValues) {
    const char* raw[] = {"hls-ts",        "hls-fmp4",        "hls-hevc",          "drm-hls-ts",
                         "drm-hls-fmp4",  "drm-hls-hevc",    "ssai-hls-ts",       "ssai-hls-fmp4",
                         "ssai-hls-hevc", "ssai-drm-hls-ts", "ssai-drm-hls-fmp4", "ssai-drm-hls-hevc"};
    std::unordered_set<MediaFormat> seen;
    for (std::size_t i = 0; i < 12; ++i) {
        const MediaFormat format = MediaFormat::allCases()[i];
        EXPECT_EQ(static_cast<std::size_t>(static_cast<MediaFormat::Case>(format)), i);
        EXPECT_EQ(format.rawValue(), raw[i]);
        EXPECT_EQ(MediaFormat::fromRawValue(raw[i]), format);
        seen.insert(format);
        auto encoded = foundation::JSONEncoder().encodeToValue(format);
        EXPECT_EQ(*encoded, JSONValue(raw[i]));
    }
    EXPECT_EQ(seen.size(), 12u);
    EXPECT_FALSE(MediaFormat::fromRawValue("Hls-ts"));
    EXPECT_FALSE(MediaFormat::fromRawValue(""));
}

}  // namespace
}  // namespace lumora
