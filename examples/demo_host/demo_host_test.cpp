#include <gtest/gtest.h>
#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "demo_host/AssetExtras.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLError.h"
#include "foundation/URLSession.h"
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
    auto groups = AssetExtras::parseAdBreaks(
        R"({"breaks":[{"ads":[{"id":"a","startTime":10,"duration":5},{"id":"b","startTime":"x","duration":5}]},)"
        R"({"ads":[]},7,{"ads":[{"startTime":60,"duration":8}]}]})");
    ASSERT_TRUE(groups) << groups.error();
    ASSERT_EQ(groups->size(), 2u);
    EXPECT_EQ((*groups)[0], (std::vector<lumora::AdInfo>{lumora::AdInfo("a", 10, 5)}));
    EXPECT_EQ((*groups)[1][0].id, "ad");
    auto moments = AssetExtras::parseKeyMoments(
        R"({"keyMoments":[{"code":"G","videoTime":23,"displayName":"Goal","displayTime":"23'","player":"J. Smith"},)"
        R"({"code":"X"},{"videoTime":3},"junk"]})");
    ASSERT_TRUE(moments) << moments.error();
    ASSERT_EQ(moments->size(), 1u);
    EXPECT_EQ((*moments)[0].happening, "23' - Goal");
    EXPECT_EQ((*moments)[0].contestant, "J. Smith");
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
    void fetch() {
        AssetExtras::fetch(server->baseURL() + kBreaks, server->baseURL() + "/thumbnails/a",
                           [this](AssetExtras extras) { result = std::move(extras); });
    }
    // Fetches and decodes, waiting (a bounded real time) for each.
    AssetExtras fetchedAndDecoded() {
        result.reset();
        fetch();
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }));
        if (!result) return AssetExtras();
        AssetExtras::decodeThumbnails(std::exchange(result, std::nullopt).value(),
                                      [this](AssetExtras extras) { result = std::move(extras); });
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }));
        return result.value_or(AssetExtras());
    }

    static constexpr const char* kBreaks = "/ads/a/breaks.json";
    static constexpr const char* kKeyMoments = "/thumbnails/a/key-moments.json";
    static constexpr const char* kThumbnails = "/thumbnails/a/index.bif";
    std::shared_ptr<devserver::testing::HlsTestService> hls;
    std::shared_ptr<devserver::Server> server;
    std::optional<AssetExtras> result;
};

TEST_F(DemoHostFetch, TheHostsRequestsWaitLongerThanTheKitsOwnTimeOutAndNoLonger) {
    dispatch::testing::ManualClockScope clock;
    hls->hold(kKeyMoments);
    fetch();
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
    EXPECT_FALSE(result);
    hls->release(kKeyMoments);
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->keyMoments.size(), 3u);
    EXPECT_TRUE(result->problems.empty()) << result->describe();

    // Past its own time-out it gives up, and says so for each request. All three are held: an answer still on
    // its way when the clock jumps past the time-out would time out as well, so none may be in flight.
    result.reset();
    const std::vector<std::string> paths = {kBreaks, kKeyMoments, kThumbnails};
    for (const auto& path : paths) hls->hold(path);
    fetch();
    ASSERT_TRUE(runUntil(
        [&] { return std::ranges::all_of(paths, [&](const std::string& path) { return hls->isWaiting(path); }); }));
    clock.advance(AssetExtras::requestTimeout + 1);
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
    auto problems = result->problems;
    std::ranges::sort(problems);  // in the order the time-outs were delivered
    EXPECT_EQ(problems,
              (std::vector<std::string>{"ad breaks: The request timed out.", "key moments: The request timed out.",
                                        "thumbnails: The request timed out."}));
    for (const auto& path : paths) hls->release(path);
}

TEST_F(DemoHostFetch, ThumbnailsAreDecodedOnTheirOwnQueueWhileTheSessionsGoOnAnswering) {
    fetch();
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
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
