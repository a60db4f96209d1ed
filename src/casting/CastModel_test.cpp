#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

#include "casting/CastModel.h"

namespace lumora {
namespace {

TEST(CastModelTest, ConnectionStateRawValuesRoundTripAndRejectOthers) {
    for (int raw = 0; raw <= 4; ++raw) {
        auto state = castConnectionStateFromRawValue(raw);
        ASSERT_TRUE(state.has_value()) << raw;
        EXPECT_EQ(rawValue(*state), raw);
    }
    EXPECT_EQ(castConnectionStateFromRawValue(3), CastConnectionState::canControlCastPlayer);
    EXPECT_EQ(castConnectionStateFromRawValue(0), CastConnectionState::disconnected);
    EXPECT_EQ(castConnectionStateFromRawValue(4), CastConnectionState::disconnecting);
    EXPECT_FALSE(castConnectionStateFromRawValue(5));
    EXPECT_FALSE(castConnectionStateFromRawValue(-1));

    std::unordered_set<CastConnectionState> hashed{CastConnectionState::connected, CastConnectionState::connected};
    EXPECT_EQ(hashed.size(), 1u);
}

TEST(CastModelTest, ResumeStateRawValuesStopAtTwo) {
    EXPECT_EQ(castResumeStateFromRawValue(0), CastResumeState::unchanged);
    EXPECT_EQ(castResumeStateFromRawValue(1), CastResumeState::play);
    EXPECT_EQ(castResumeStateFromRawValue(2), CastResumeState::paused);
    EXPECT_EQ(rawValue(CastResumeState::paused), 2);
    EXPECT_FALSE(castResumeStateFromRawValue(3));
    EXPECT_FALSE(castResumeStateFromRawValue(-1));
}

TEST(CastModelTest, ImageNeedsAnAddressButNotASize) {
    EXPECT_EQ(CastImage::create(std::nullopt, {100, 50}), nullptr);

    auto url = foundation::URL::fromString("https://img.example/poster.jpg");
    ASSERT_TRUE(url);
    auto image = CastImage::create(url, coregraphics::CGSize::zero());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->imageURL(), *url);
    EXPECT_EQ(image->imageSize(), coregraphics::CGSize::zero());

    auto odd = CastImage::create(url, {-3, 7.5});
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->imageSize().width, -3);
}

TEST(CastModelTest, StreamKeepsItsFieldsAsGiven) {
    auto image = CastImage::create(foundation::URL::fromString("https://img.example/a.png"), {16, 9});
    CastStream stream("asset-1", "Final", std::string("Round 2"), image, true, "application/x-mpegURL", -5.0,
                      std::nullopt, 0.0f, CastPlayerState::buffering, {{7, "en"}, {8, "EN"}}, std::nullopt);
    EXPECT_TRUE(stream.customData.empty());
    EXPECT_EQ(stream.assetID, "asset-1");
    EXPECT_EQ(stream.subtitle, "Round 2");
    EXPECT_EQ(stream.image, image);
    EXPECT_TRUE(stream.isLive);
    EXPECT_EQ(stream.position, -5.0);  // not normalised
    EXPECT_FALSE(stream.duration);
    EXPECT_EQ(stream.rate, 0.0f);
    EXPECT_EQ(stream.state, CastPlayerState::buffering);
    ASSERT_EQ(stream.closedCaptions.size(), 2u);
    EXPECT_EQ(stream.closedCaptions[1].id, 8);
    EXPECT_EQ(stream.closedCaptions[1].languageCode, "EN");

    CastStream::CustomData data{{"league", std::string("A")}, {"round", 2}};
    CastStream other("b", "", std::nullopt, nullptr, false, "", std::nullopt, 60.0, 1.0f, CastPlayerState::unknown, {},
                     data);
    EXPECT_TRUE(other.closedCaptions.empty());
    ASSERT_EQ(other.customData.size(), 2u);
    EXPECT_EQ(std::any_cast<int>(other.customData.at("round")), 2);
}

TEST(CastModelTest, DrawerStatusTexts) {
    auto ready = DrawerStatus::ready("");
    EXPECT_TRUE(ready.isReady());
    EXPECT_EQ(ready.status(), "Ready to Cast");
    EXPECT_EQ(ready.detail(), "");
    EXPECT_EQ(ready.deviceName(), "");
    EXPECT_FALSE(ready.assetName());

    auto playing = DrawerStatus::playing("  Derby: Live ");
    EXPECT_TRUE(playing.isPlaying());
    EXPECT_EQ(playing.status(), "Casting");
    EXPECT_EQ(playing.detail(), "  Derby: Live ");
    EXPECT_FALSE(playing.deviceName());
}

}  // namespace
}  // namespace lumora
