#include <gtest/gtest.h>

#include "avfoundation/AVPlayer.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"

using namespace avfoundation;
using avfoundation::testing::runUntil;
using devserver::testing::HlsTestService;
using foundation::Locale;

namespace {

std::vector<std::string> names(const AVMediaSelectionGroup::Options& options) {
    std::vector<std::string> out;
    for (const auto& o : options) out.push_back(o->displayName());
    return out;
}

std::shared_ptr<AVMediaSelectionOption> option(const std::string& name, std::optional<std::string> tag) {
    return AVMediaSelectionOption::create(name, std::move(tag), AVMediaTypeSubtitle, {AVMediaCharacteristicLegible});
}

}  // namespace

TEST(MediaSelection, LocalesMatchByLanguageAndByRegionWhereBothNameOne) {
    const AVMediaSelectionGroup::Options options{option("en", "en"),           option("en-US", "en-US"),
                                                 option("en-GB", "en-GB"),     option("sv", "sv-SE"),
                                                 option("none", std::nullopt), option("swe", "swe")};
    EXPECT_EQ(names(AVMediaSelectionGroup::mediaSelectionOptions(options, Locale("en"))),
              (std::vector<std::string>{"en", "en-US", "en-GB"}));
    EXPECT_EQ(names(AVMediaSelectionGroup::mediaSelectionOptions(options, Locale("en_GB"))),
              (std::vector<std::string>{"en", "en-GB"}));
    EXPECT_EQ(names(AVMediaSelectionGroup::mediaSelectionOptions(options, Locale("SV"))),
              (std::vector<std::string>{"sv"}));
    EXPECT_TRUE(AVMediaSelectionGroup::mediaSelectionOptions(options, Locale("de")).empty());
    EXPECT_TRUE(AVMediaSelectionGroup::mediaSelectionOptions(options, Locale("")).empty());
    EXPECT_EQ(options[3]->locale()->regionCode, "SE");
    EXPECT_FALSE(options[4]->locale());
}

TEST(MediaSelection, SubtitleRenditionsBecomeTheLegibleGroupOfTheAssetAndTheItemChoosesAmongThem) {
    dispatch::testing::ManualClockScope clock;
    auto hls = std::make_shared<HlsTestService>();
    auto server = *devserver::Server::start({.services = {hls}, .echo = false});
    hls->setPlaylist("/s/master.m3u8",
                     devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}},
                                                              {{"en", "English", true}, {"sv", "Svenska", false}}));
    hls->setPlaylist("/s/media.m3u8", devserver::testing::mediaPlaylist(2, 6.0));
    hls->setPlaylist("/plain/master.m3u8", devserver::testing::multivariantPlaylist({{150000, "", "media.m3u8"}}));

    auto asset = AVURLAsset::create(*foundation::URL::fromString(server->baseURL() + "/s/master.m3u8"));
    EXPECT_FALSE(asset->mediaSelectionGroup(AVMediaCharacteristicLegible));  // nothing before loading
    auto item = AVPlayerItem::create(asset);
    auto player = AVPlayer::create(item);
    ASSERT_TRUE(runUntil([&] { return item->status() == AVPlayerItem::Status::readyToPlay; }));
    auto group = asset->mediaSelectionGroup(AVMediaCharacteristicLegible);
    ASSERT_TRUE(group);
    EXPECT_EQ(group, asset->mediaSelectionGroup(AVMediaCharacteristicLegible));  // the same objects each time
    EXPECT_FALSE(asset->mediaSelectionGroup("public.audible"));
    EXPECT_EQ(names(group->options()), (std::vector<std::string>{"English", "Svenska"}));
    EXPECT_EQ(group->options()[1]->extendedLanguageTag(), "sv");
    EXPECT_TRUE(group->options()[1]->hasMediaCharacteristic(AVMediaCharacteristicLegible));
    EXPECT_TRUE(group->allowsEmptySelection());

    EXPECT_EQ(item->currentMediaSelection()->selectedMediaOption(group), group->options()[0]);  // DEFAULT=YES
    item->select(group->options()[1], group);
    EXPECT_EQ(item->currentMediaSelection()->selectedMediaOption(group), group->options()[1]);
    item->select(option("x", "de"), group);  // not an option of the group: ignored
    EXPECT_EQ(item->currentMediaSelection()->selectedMediaOption(group), group->options()[1]);
    item->select(nullptr, group);
    EXPECT_FALSE(item->currentMediaSelection()->selectedMediaOption(group));
    item->selectMediaOptionAutomatically(group);
    EXPECT_EQ(item->currentMediaSelection()->selectedMediaOption(group), group->options()[0]);

    auto plain = AVURLAsset::create(*foundation::URL::fromString(server->baseURL() + "/plain/master.m3u8"));
    std::atomic<bool> loaded{false};
    plain->loadValuesAsynchronously({"playable"}, [&] { loaded = true; });
    ASSERT_TRUE(runUntil([&] { return loaded.load(); }));
    EXPECT_TRUE(plain->isPlayable());
    EXPECT_FALSE(plain->mediaSelectionGroup(AVMediaCharacteristicLegible));
    hls->shutdown();
    server->stop();
}
