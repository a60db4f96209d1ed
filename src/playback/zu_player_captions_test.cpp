// Choosing the text tracks of the stream that is playing.
#include <gtest/gtest.h>

#include "playback/testing/ZuPlayerTestSupport.h"

using namespace lumora;
using foundation::Locale;
using lumora::testing::ZuPlayerTest;

namespace {

std::string languageOf(const std::shared_ptr<avfoundation::AVMediaSelectionOption>& option) {
    return option ? option->extendedLanguageTag().value_or("?") : "off";
}

}  // namespace

TEST_F(ZuPlayerTest, WithoutAStreamOrTextTracksThereAreNoCaptionsToChoose) {
    EXPECT_FALSE(player->captionsAndSubtitles());
    EXPECT_FALSE(player->selectedCaptionAndSubtitle());
    player->setCaptionAndSubtitle(Locale("en"));
    player->turnOffCaptionAndSubtitles();
    player->setCaptionAndSubtitleToAutomatic();
    EXPECT_FALSE(player->selectedCaptionAndSubtitle());

    loadReady(catalogue("vod-protected"), drm());
    EXPECT_FALSE(player->captionsAndSubtitles());
    EXPECT_FALSE(player->selectedCaptionAndSubtitle());
    player->setCaptionAndSubtitle(Locale("en"));
    EXPECT_FALSE(player->selectedCaptionAndSubtitle());
}

TEST_F(ZuPlayerTest, CaptionsAreChosenByLocaleTurnedOffAndHandedBackToTheAutomaticRule) {
    loadReady(catalogue("vod-clear"));
    auto tracks = player->captionsAndSubtitles();
    ASSERT_TRUE(tracks);
    ASSERT_EQ(tracks->size(), 2u);
    EXPECT_EQ(languageOf((*tracks)[0]), "en");
    EXPECT_EQ(languageOf((*tracks)[1]), "sv");
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "en");  // the stream's default

    player->setCaptionAndSubtitle(Locale("sv_SE"));
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "sv");
    player->setCaptionAndSubtitle(Locale("fr"));  // no such track: the choice stays
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "sv");
    player->setCaptionAndSubtitle(std::nullopt);  // no locale is not "off"
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "sv");

    player->turnOffCaptionAndSubtitles();
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "off");
    EXPECT_EQ(player->captionsAndSubtitles()->size(), 2u);
    player->setCaptionAndSubtitleToAutomatic();
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "en");

    // A new item starts with the media player's own choice.
    player->setCaptionAndSubtitle(Locale("sv"));
    loadReady(catalogue("vod-clear"));
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "en");
}

TEST_F(ZuPlayerTest, ALocaleMatchingTwoTracksChoosesTheFirstInTheGroupsOrder) {
    origin->setPlaylist("/subs/master.m3u8",
                        devserver::testing::multivariantPlaylist(
                            {{150000, "640x360", "media.m3u8"}},
                            {{"sv", "Svenska", true}, {"en-GB", "English (UK)"}, {"en", "English"}}));
    origin->setPlaylist("/subs/media.m3u8", devserver::testing::mediaPlaylist(5, 6.0));
    loadReady(url("/subs/master.m3u8"));
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "sv");
    player->setCaptionAndSubtitle(Locale("en"));
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "en-GB");
    player->setCaptionAndSubtitle(Locale("en_US"));  // "en-GB" names another region
    EXPECT_EQ(languageOf(player->selectedCaptionAndSubtitle()), "en");
}
