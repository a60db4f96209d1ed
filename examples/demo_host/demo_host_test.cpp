#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "demo_host/AssetExtras.h"
#include "demo_host/HostConfiguration.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLError.h"
#include "foundation/URLSession.h"
#include "foundation/testing/MainBundleScope.h"
#include "imageio/ImageDecoder.h"
#include "keymoments/testing/BIFWriter.h"

namespace {

using demohost::AssetExtras;
using devserver::testing::runUntil;

TEST(DemoHostExtras, BadAnswersOfTheHostsBackEndAreNamedAndWhatCanBeReadIsKept) {
    for (const char* bad : {"", "not json", "[1,2]", "{\"breaks\":7}", "{\"keyMoments\":{}}"}) {
        EXPECT_FALSE(AssetExtras::parseAdBreaks(bad)) << bad;
        EXPECT_FALSE(AssetExtras::parseKeyMoments(bad)) << bad;
    }
    EXPECT_NE(AssetExtras::parseAdBreaks("{").error().find("not JSON"), std::string::npos);
    // Ads and moments without their numbers are left out; the rest are kept, empty breaks dropped.
    auto breaks = AssetExtras::parseAdBreaks(
        R"({"breaks":[{"ads":[{"id":"a","startTime":10,"duration":5},{"id":"b","startTime":"x","duration":5}]},)"
        R"({"ads":[]},7,{"ads":[{"startTime":60,"duration":8}]}]})");
    ASSERT_TRUE(breaks) << breaks.error();
    const auto& groups = breaks->groups;
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (std::vector<lumora::AdInfo>{lumora::AdInfo("a", 10, 5)}));
    EXPECT_EQ(groups[1][0].id, "ad");
    EXPECT_EQ(breaks->refused, 0u);
    auto moments = AssetExtras::parseKeyMoments(
        R"({"keyMoments":[{"code":"G","videoTime":23,"displayName":"Goal","displayTime":"23'","player":"J. Smith"},)"
        R"({"code":"X"},{"videoTime":3},"junk"]})");
    ASSERT_TRUE(moments) << moments.error();
    ASSERT_EQ(moments->size(), 1u);
    EXPECT_EQ((*moments)[0].happening, "23' - Goal");
    EXPECT_EQ((*moments)[0].contestant, "J. Smith");
}

TEST(DemoHostExtras, AdsNoStreamCanHoldAreRefusedAndSaidWhileTheOthersAreKept) {
    // An ad from before the stream to the end of time held the controls away for the whole programme; one
    // of negative length counts the stream backwards. One of no length is kept, as the kit's player keeps it.
    auto breaks = AssetExtras::parseAdBreaks(
        R"({"breaks":[{"ads":[{"id":"lock","startTime":-50,"duration":1e308},{"id":"back","startTime":10,"duration":-30}]},)"
        R"({"ads":[{"id":"ok","startTime":60,"duration":6},{"id":"none","startTime":70,"duration":0},)"
        R"({"id":"long","startTime":100,"duration":1e308},{"id":"edge","startTime":118,"duration":2.5},)"
        R"({"id":"over","startTime":119,"duration":5}]}]})");
    ASSERT_TRUE(breaks) << breaks.error();
    EXPECT_EQ(breaks->refused, 2u);
    EXPECT_EQ(breaks->firstRefusal, R"(ad "lock": starts at -50 s, before the stream)");
    ASSERT_EQ(breaks->groups.size(), 1u) << "the break of refused ads alone is dropped";

    // Ads that end past the stream's end by more than the kit's tolerance are refused once its length is
    // known; a live stream has none.
    EXPECT_EQ(AssetExtras::withinStream(*breaks, std::nullopt).groups, breaks->groups);
    AssetExtras extras;
    extras.adBreaks = AssetExtras::withinStream(*breaks, 120);
    EXPECT_EQ(extras.adBreaks.groups, (lumora::AdGroups{{lumora::AdInfo("ok", 60, 6), lumora::AdInfo("none", 70, 0),
                                                         lumora::AdInfo("edge", 118, 2.5)}}));
    EXPECT_EQ(extras.describe(),
              R"(1 ad break (3 ads), 4 ads refused (ad "lock": starts at -50 s, before the stream, and 3 more))");
    EXPECT_EQ(AssetExtras::withinStream(*breaks, 50).groups, lumora::AdGroups{});

    // Named alone, each says why.
    for (const auto& [json, why] : std::vector<std::pair<std::string, std::string>>{
             {R"({"id":"back","startTime":10,"duration":-30})", R"(ad "back": lasts -30 s, no time at all)"},
             {R"({"id":"x","startTime":1e308,"duration":1e308})",
              R"(ad "x": starts at 1e+308 s and lasts 1e+308 s, ending at no finite time)"},
             {R"({"id":")" + std::string(100, 'a') + R"(","startTime":-1,"duration":5})",
              R"(ad ")" + std::string(40, 'a') + R"(...": starts at -1 s, before the stream)"}}) {
        auto one = AssetExtras::parseAdBreaks(R"({"breaks":[{"ads":[)" + json + "]}]}");
        ASSERT_TRUE(one) << one.error();
        EXPECT_EQ(one->firstRefusal, why);
        EXPECT_TRUE(one->groups.empty());
    }
    // A number past the doubles is no number the reader gives: the whole answer is refused.
    auto huge = AssetExtras::parseAdBreaks(R"({"breaks":[{"ads":[{"id":"x","startTime":1e400,"duration":5}]}]})");
    ASSERT_FALSE(huge);
    EXPECT_NE(huge.error().find("not JSON"), std::string::npos) << huge.error();
}

TEST(DemoHostConfiguration, ASetupThatFailsAfterMakingItsRunFolderLeavesNoFolderBehind) {
    // A temporary folder of the test's own, and a kit that read its settings before the host set them up:
    // every setup makes its run folder, then fails.
    std::string pattern = (std::filesystem::temp_directory_path() / "demo-host-test-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    const std::filesystem::path temporary = pattern;
    {
        dispatch::testing::EnvironmentScope environment("TMPDIR", temporary.string());
        environment.unset("LUMORA_KEYCHAIN_DIR");
        foundation::testing::MainBundleScope elsewhere((temporary / "elsewhere").string());
        (void)foundation::Bundle::main();
        for (int attempt = 1; attempt <= 2; ++attempt) {
            auto configured = demohost::HostConfiguration::embedded("http://127.0.0.1:9");
            ASSERT_FALSE(configured) << attempt;
            EXPECT_NE(configured.error().find("before the demo host set them up"), std::string::npos)
                << configured.error();
            EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "attempt " << attempt << " left its run folder";
        }
    }
    std::filesystem::remove_all(temporary);
}

// A key-moments answer of `count` moments, a minute apart.
std::string keyMomentsJSON(std::size_t count) {
    std::string json = R"({"keyMoments":[)";
    for (std::size_t i = 0; i < count; ++i) {
        json += (i ? "," : "") + std::string(R"({"code":"G","videoTime":)") + std::to_string(i * 60) +
                R"(,"eventTime":0,"displayName":"Goal"})";
    }
    return json + "]}";
}

// A small JPEG, and one whose header claims `width` × `height` pixels over the same few bytes.
std::vector<std::uint8_t> jpeg(std::uint32_t width = 32, std::uint32_t height = 18) {
    auto bitmap = imageio::Bitmap::filled(32, 18, {40, 120, 60, 255});
    auto bytes = imageio::encodeJPEG(*bitmap);
    if (width == 32 && height == 18) return *bytes;
    for (std::size_t i = 0; i + 8 < bytes->size(); ++i) {
        if ((*bytes)[i] == 0xFF && (*bytes)[i + 1] == 0xC0) {  // start of frame: precision, height, width
            (*bytes)[i + 5] = static_cast<std::uint8_t>(height >> 8);
            (*bytes)[i + 6] = static_cast<std::uint8_t>(height);
            (*bytes)[i + 7] = static_cast<std::uint8_t>(width >> 8);
            (*bytes)[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return *bytes;
}

std::string bif(const std::vector<std::vector<std::uint8_t>>& frames) {
    lumora::testing::BIFWriter writer;
    for (std::uint32_t i = 0; i < frames.size(); ++i) writer.frames.emplace_back(i, frames[i]);
    const auto data = writer.write();
    return std::string(data.begin(), data.end());
}

TEST(DemoHostExtras, AKeyMomentsListLongerThanTheHostShowsIsRefusedAsAWholeAndSaidSo) {
    ASSERT_TRUE(AssetExtras::parseKeyMoments(keyMomentsJSON(AssetExtras::maxKeyMoments)));
    // 5,000 moments froze the screen for half a minute in the strip; 200,000 for good.
    for (std::size_t count : {AssetExtras::maxKeyMoments + 1, std::size_t{5000}}) {
        auto refused = AssetExtras::parseKeyMoments(keyMomentsJSON(count));
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error(), std::to_string(count) + " of them, more than the 500 this host shows");
    }
    AssetExtras extras;
    extras.problems.push_back("key moments: 5000 of them, more than the 500 this host shows");
    extras.problems.push_back("ad breaks: HTTP 404");  // an asset without ads: nothing to say
    EXPECT_EQ(extras.describe(), "no key moments: 5000 of them, more than the 500 this host shows");
}

// The host's back end for one asset, "a": ad breaks, key moments and thumbnails answered as the test says.
class DemoHostFetch : public ::testing::Test {
  protected:
    void SetUp() override {
        hls = std::make_shared<devserver::testing::HlsTestService>();
        auto started = devserver::Server::start({.services = {hls}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = std::move(*started);
        answer(kBreaks, R"({"breaks":[{"ads":[{"id":"a1","startTime":30,"duration":5}]}]})");
        answer(kKeyMoments, keyMomentsJSON(3));
        answer(kThumbnails, bif({jpeg(), jpeg(), jpeg()}));
    }
    void TearDown() override {
        hls->shutdown();
        server->stop();
    }

    void answer(const std::string& path, std::string body) { hls->setStatus(path, 200, std::move(body)); }
    // Each part as it answers.
    void fetch() {
        parts.clear();
        AssetExtras::fetch(server->baseURL() + kBreaks, server->baseURL() + "/thumbnails/a",
                           [this](AssetExtras::Part part, AssetExtras extras) {
                               EXPECT_FALSE(parts.contains(part)) << "a part answered twice";
                               parts[part] = std::move(extras);
                           });
    }
    bool has(AssetExtras::Part part) const { return parts.contains(part); }
    bool allAnswered() const { return parts.size() == 3; }
    // The parts that answered, as one.
    AssetExtras gathered() const {
        AssetExtras all;
        for (const auto& [part, extras] : parts) {
            if (part == AssetExtras::Part::adBreaks) all.adBreaks = extras.adBreaks;
            if (part == AssetExtras::Part::keyMoments) all.keyMoments = extras.keyMoments;
            if (part == AssetExtras::Part::thumbnails) all.thumbnailData = extras.thumbnailData;
            all.problems.insert(all.problems.end(), extras.problems.begin(), extras.problems.end());
        }
        return all;
    }
    // Fetches and decodes, waiting (a bounded real time) for each.
    AssetExtras fetchedAndDecoded() {
        result.reset();
        fetch();
        EXPECT_TRUE(runUntil([&] { return allAnswered(); }));
        if (!allAnswered()) return AssetExtras();
        AssetExtras::decodeThumbnails(gathered(), [this](AssetExtras extras) { result = std::move(extras); });
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }));
        return result.value_or(AssetExtras());
    }

    static constexpr const char* kBreaks = "/ads/a/breaks.json";
    static constexpr const char* kKeyMoments = "/thumbnails/a/key-moments.json";
    static constexpr const char* kThumbnails = "/thumbnails/a/index.bif";
    std::shared_ptr<devserver::testing::HlsTestService> hls;
    std::shared_ptr<devserver::Server> server;
    std::map<AssetExtras::Part, AssetExtras> parts;
    std::optional<AssetExtras> result;
};

TEST_F(DemoHostFetch, EachPartComesAsItAnswersAndWaitsLongerThanTheKitsOwnTimeOutAndNoLonger) {
    dispatch::testing::ManualClockScope clock;
    hls->hold(kKeyMoments);
    fetch();
    // A silent key-moments request holds back neither the ad breaks nor the thumbnails.
    ASSERT_TRUE(runUntil([&] { return has(AssetExtras::Part::adBreaks) && has(AssetExtras::Part::thumbnails); }));
    EXPECT_EQ(parts[AssetExtras::Part::adBreaks].describe(), "1 ad break (1 ad)");
    EXPECT_TRUE(parts[AssetExtras::Part::thumbnails].thumbnailData);
    // A request of the kit's default session, waiting alongside, times out at 60 s on the clock.
    std::optional<foundation::Error> kitRequest;
    foundation::URLSession::shared()
        ->dataTask(*foundation::URL::fromString(server->baseURL() + kKeyMoments),
                   [&](auto, auto, std::optional<foundation::Error> error) {
                       dispatch::DispatchQueue::main().async([&, error] { kitRequest = error; });
                   })
        ->resume();
    ASSERT_TRUE(runUntil([&] { return hls->isWaiting(kKeyMoments); }));
    clock.advance(120);
    ASSERT_TRUE(runUntil([&] { return kitRequest.has_value(); }));
    EXPECT_TRUE(foundation::URLError::is(*kitRequest, foundation::URLError::timedOut));
    // The host's is still waiting, and takes the answer when it comes.
    EXPECT_FALSE(has(AssetExtras::Part::keyMoments));
    hls->release(kKeyMoments);
    ASSERT_TRUE(runUntil([&] { return has(AssetExtras::Part::keyMoments); }));
    EXPECT_EQ(parts[AssetExtras::Part::keyMoments].keyMoments.size(), 3u);
    EXPECT_TRUE(gathered().problems.empty()) << gathered().describe();

    // Past its own time-out it gives up, and says so for each request. All three are held: an answer still on
    // its way when the clock jumps past the time-out would time out as well, so none may be in flight.
    const std::vector<std::string> paths = {kBreaks, kKeyMoments, kThumbnails};
    for (const auto& path : paths) hls->hold(path);
    fetch();
    ASSERT_TRUE(runUntil(
        [&] { return std::ranges::all_of(paths, [&](const std::string& path) { return hls->isWaiting(path); }); }));
    clock.advance(AssetExtras::requestTimeout + 1);
    ASSERT_TRUE(runUntil([&] { return allAnswered(); }));
    auto problems = gathered().problems;
    std::ranges::sort(problems);  // in the order the time-outs were delivered
    EXPECT_EQ(problems,
              (std::vector<std::string>{"ad breaks: The request timed out.", "key moments: The request timed out.",
                                        "thumbnails: The request timed out."}));
    for (const auto& path : paths) hls->release(path);
}

TEST_F(DemoHostFetch, ThumbnailsAreDecodedOnTheirOwnQueueWhileTheSessionsGoOnAnswering) {
    fetch();
    ASSERT_TRUE(runUntil([&] { return allAnswered(); }));
    result = gathered();
    EXPECT_EQ(result->describe(), "1 ad break (1 ad), 3 key moments") << "nothing decoded yet";
    ASSERT_TRUE(result->thumbnailData);

    // The decoding queue is held: the thumbnails wait, the shared session's answers do not.
    dispatch::DispatchQueue decoding("test.thumbnails");
    std::promise<void> release;
    decoding.async([held = release.get_future().share()] { held.wait(); });
    AssetExtras::decodeThumbnails(
        std::exchange(result, std::nullopt).value(), [this](AssetExtras extras) { result = std::move(extras); },
        decoding);
    std::optional<int> status;
    foundation::URLSession::shared()
        ->dataTask(*foundation::URL::fromString(server->baseURL() + kBreaks),
                   [&](auto, std::optional<foundation::HTTPURLResponse> response, auto) {
                       dispatch::DispatchQueue::main().async(
                           [&, code = response ? response->statusCode : 0] { status = code; });
                   })
        ->resume();
    EXPECT_TRUE(runUntil([&] { return status.has_value(); }));
    EXPECT_EQ(status, 200);
    EXPECT_FALSE(result) << "the thumbnails were decoded without their queue";
    release.set_value();
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->describe(), "1 ad break (1 ad), 3 key moments, 3 scrubbing thumbnails");
    EXPECT_FALSE(result->thumbnailData);
}

TEST_F(DemoHostFetch, HostileAnswersAreRefusedBeforeTheyCostMemoryAndTheRestIsKept) {
    // 5,000 key moments (about 400 KiB), refused by count; 2 MiB of them, refused unread past 1 MiB.
    answer(kKeyMoments, keyMomentsJSON(5000));
    auto extras = fetchedAndDecoded();
    EXPECT_TRUE(extras.keyMoments.empty());
    EXPECT_EQ(extras.describe(),
              "1 ad break (1 ad), 3 scrubbing thumbnails, no key moments: 5000 of them, more than the 500 this host "
              "shows");
    answer(kKeyMoments, std::string(2 << 20, ' '));
    extras = fetchedAndDecoded();
    EXPECT_EQ(extras.problems, std::vector<std::string>{"key moments: the answer is larger than the 1 MiB read"});

    // A frame whose header claims 8192 × 8192 pixels (256 MiB decoded) is left out from its header alone;
    // the frames that decode are what the host reports.
    answer(kKeyMoments, keyMomentsJSON(3));
    answer(kThumbnails, bif({jpeg(), jpeg(8192, 8192), jpeg(), {0xFF, 0xD8, 0x00}}));
    extras = fetchedAndDecoded();
    ASSERT_TRUE(extras.thumbnails);
    EXPECT_EQ(extras.thumbnailsDecoded, 2u);
    EXPECT_EQ(extras.describe(),
              "1 ad break (1 ad), 3 key moments, 2 scrubbing thumbnails (2 of 4 frames did not decode)");

    // None decoding: no thumbnails at all, and not "25 scrubbing thumbnails".
    answer(kThumbnails, bif(std::vector<std::vector<std::uint8_t>>(25, {0xFF, 0xD8, 0xFF, 0xE0})));
    extras = fetchedAndDecoded();
    EXPECT_FALSE(extras.thumbnails);
    EXPECT_EQ(extras.describe(), "1 ad break (1 ad), 3 key moments, no thumbnails: none of the 25 frames decoded");
}

}  // namespace
