#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/JSON.h"
#include "playservice/PlayerEventRequest.h"

using namespace lumora;
using Body = PlayerEventRequest::Body;
using Progress = PlayerEventRequest::Progress;

namespace {

std::string encode(const Body& body) {
    auto data = foundation::JSONEncoder().encode(body);
    EXPECT_TRUE(data.has_value()) << (data ? "" : data.error().localizedDescription());
    return data ? foundation::stringFromData(*data) : std::string();
}

}  // namespace

TEST(PlayerEventRequestBody, AnEmptyBodyWritesOnlyTheRequiredKeys) {
    EXPECT_EQ(encode(Body{}),
              R"({"client":{"platform":"","userAgent":""},"originator":"","timestamp":"","progress":{}})");
}

TEST(PlayerEventRequestBody, EveryFieldIsWrittenInOrderFlagsAndPositionsAsStrings) {
    Body body;
    body.eventName = "playerEvent";
    body.originatorId = "o-1";
    body.subProfileId = "p-1";
    body.versions = std::vector<std::string>{};
    body.tenant = "lumora";
    body.logData = "";
    body.client.drm = "";  // an empty text is written, not treated as absent
    body.client.platform = "ios";
    body.client.playerEvent = "period";
    body.client.userAgent = "UA";
    body.client.viewingSession = "S";
    body.originator = "ios_app";
    body.timestamp = "2024-03-05T14:07:09.042";
    body.progress.assetId = "a";
    body.progress.eventNumber = 7;
    body.progress.playbackType = "vod";
    body.progress.vod = Progress::Vod{.duration = 120.5, .position = "12.5"};
    body.progress.live =
        Progress::Live{.onLiveEdge = "true", .liveResumePossible = "false", .position = "2024-03-05T14:07:09.042"};

    EXPECT_EQ(
        encode(body),
        R"({"eventName":"playerEvent","originatorId":"o-1","subProfileId":"p-1","versions":[],"tenant":"lumora","logData":"",)"
        R"("client":{"drm":"","platform":"ios","playerEvent":"period","userAgent":"UA","viewingSession":"S"},)"
        R"("originator":"ios_app","timestamp":"2024-03-05T14:07:09.042",)"
        R"("progress":{"assetId":"a","eventNumber":7,"playbackType":"vod","vod":{"duration":120.5,"position":"12.5"},)"
        R"("live":{"onLiveEdge":"true","liveResumePossible":"false","position":"2024-03-05T14:07:09.042"}}})");
    EXPECT_EQ(Body::stringValue(Body::CodingKeys::progress), "progress");
    EXPECT_EQ(PlayerEventRequest::Client::stringValue(PlayerEventRequest::Client::CodingKeys::viewingSession),
              "viewingSession");
}

TEST(PlayerEventRequestBody, ANonFiniteDurationFailsTheWholeEncoding) {
    for (double bad :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        Body body;
        body.progress.vod = Progress::Vod{.duration = bad, .position = "0.0"};
        auto data = foundation::JSONEncoder().encode(body);
        ASSERT_FALSE(data.has_value());
        const auto* error = data.error().as<foundation::EncodingError>();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->keyPath(), "progress.vod.duration");
    }
}

TEST(PlayerEventRequestProgress, DecodesWhatIsPresentAndRejectsWrongTypes) {
    foundation::JSONDecoder decoder;
    auto empty = decoder.decode<Progress>(std::string_view("{}"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, Progress{});

    auto vodOnly = decoder.decode<Progress>(std::string_view(R"({"vod":{},"live":null,"eventNumber":null,"other":1})"));
    ASSERT_TRUE(vodOnly);
    ASSERT_TRUE(vodOnly->vod);
    EXPECT_EQ(*vodOnly->vod, Progress::Vod{});
    EXPECT_FALSE(vodOnly->live);
    EXPECT_FALSE(vodOnly->eventNumber);

    auto full = decoder.decode<Progress>(std::string_view(
        R"({"assetId":"a","eventNumber":3,"live":{"onLiveEdge":"true","liveResumePossible":"false","position":"p"},"vod":{"duration":30,"position":"1.5"}})"));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->eventNumber, 3);
    EXPECT_EQ(full->vod->duration, 30.0);
    EXPECT_EQ(full->live->onLiveEdge, "true");

    for (const char* wrong : {R"({"eventNumber":"3"})", R"({"eventNumber":3.5})", R"({"live":{"onLiveEdge":true}})",
                              R"({"vod":{"position":12}})", R"({"vod":{"duration":"12"}})", R"({"vod":[]})"}) {
        auto result = decoder.decode<Progress>(std::string_view(wrong));
        ASSERT_FALSE(result) << wrong;
        const auto* error = result.error().as<foundation::DecodingError>();
        ASSERT_NE(error, nullptr) << wrong;
        EXPECT_TRUE(error->isTypeMismatch()) << wrong;
    }
}
