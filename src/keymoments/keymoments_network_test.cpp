#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "devserver/Backend.h"
#include "devserver/ThumbnailArt.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/JSON.h"
#include "foundation/URLSession.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuImageDownloader.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "sdwebimage/testing/ImageLoaderScope.h"
#include "uikit/UIImageView.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;

// The default loader, counting the transfers it has finished (after their results went on their way).
class CountingLoader final : public sdwebimage::SDImageLoader {
  public:
    std::shared_ptr<sdwebimage::SDWebImageOperation> requestData(const foundation::URL& url, Progress progress,
                                                                 Completion completion) override {
        return inner_->requestData(url, std::move(progress), [this, completion = std::move(completion)](auto result) {
            completion(std::move(result));
            ++finished_;
        });
    }
    int finished() const { return finished_.load(); }

  private:
    std::shared_ptr<sdwebimage::SDWebImageDownloader> inner_ = sdwebimage::SDWebImageDownloader::create();
    std::atomic<int> finished_{0};
};

// The kit's image downloader and the BIF index against the local back end.
class KeyMomentsNetworkTest : public ::testing::Test {
  public:
    static void SetUpTestSuite() {
        auto started = devserver::Backend::start();
        ASSERT_TRUE(started) << started.error();
        backend_ = new std::shared_ptr<devserver::Backend>(*started);
    }
    static void TearDownTestSuite() {
        (*backend_)->stop();
        delete backend_;
    }
    void SetUp() override { backend().server().clearFaults(); }

  protected:
    static devserver::Backend& backend() { return **backend_; }
    static foundation::URL url(const std::string& path) {
        return *foundation::URL::fromString(backend().baseURL() + path);
    }
    static std::string framePath(int frame) { return backend().thumbnails().framePath("vod-clear", frame); }
    static imageio::Bitmap expectedFrame(int frame) {
        return *imageio::decode(*devserver::thumbnails::frameJPEG("vod-clear", frame));
    }

    dispatch::testing::ManualClockScope clock;

  private:
    static std::shared_ptr<devserver::Backend>* backend_;
};

std::shared_ptr<devserver::Backend>* KeyMomentsNetworkTest::backend_ = nullptr;

TEST_F(KeyMomentsNetworkTest, ASlowFirstLoadAndAFastSecondIntoOneViewLeaveTheSecondImage) {
    backend().server().injectFault(framePath(1), {.delay = 300ms});
    auto view = uikit::UIImageView::create();
    std::vector<int> done;
    setImage(view, url(framePath(1)), nullptr, nullptr, std::nullopt, [&](const auto&) { done.push_back(1); });
    setImage(view, url(framePath(2)), nullptr, nullptr, 2.0, [&](const auto&) { done.push_back(2); });
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return done.size() == 2; }, 20s));
    ASSERT_TRUE(view->image());
    EXPECT_EQ(view->image()->bitmap(), expectedFrame(2));
    EXPECT_EQ(view->image()->scale(), 2.0);
    EXPECT_EQ(view->image()->size(), (uikit::CGSize{160, 90}));
}

TEST_F(KeyMomentsNetworkTest, NotFoundAndNonImageAnswersGiveNoImage) {
    auto loader = std::make_shared<CountingLoader>();
    sdwebimage::testing::ImageLoaderScope scope(loader);
    auto placeholder = uikit::UIImage::create(*imageio::Bitmap::filled(2, 2, {1, 2, 3, 255}));
    auto view = uikit::UIImageView::create();
    int calls = 0;
    const std::string junk = framePath(5);
    backend().server().injectFault(junk, {.status = 200, .body = "{\"not\":\"an image\"}"});
    setImage(view, url(backend().thumbnails().framePath("live-1", 0)), placeholder, nullptr, std::nullopt,
             [&](const auto&) { ++calls; });
    setImage(view, url(junk), placeholder, nullptr, std::nullopt, [&](const auto&) { ++calls; });
    // Both answers are in, and handed to the main queue, once the loader has finished both transfers.
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return loader->finished() == 2; }, 20s));
    clock.runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(view->image(), placeholder);
}

TEST_F(KeyMomentsNetworkTest, TheBackEndsBIFAndKeyMomentsFeedTheIndexAndTheStrip) {
    auto bifData = foundation::downloadSynchronously(url(backend().thumbnails().bifPath("vod-protected")), 20);
    ASSERT_TRUE(bifData) << bifData.error().localizedDescription();
    auto bif = BIF::from(*bifData, BIFResolution::standard);
    ASSERT_TRUE(bif) << bif.error().localizedDescription();
    EXPECT_EQ(bif->framewiseSeparation, 5000);
    ASSERT_EQ(bif->thumbnails.size(), 25u);
    auto image = bif->image(62.0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitmap(), *imageio::decode(*devserver::thumbnails::frameJPEG("vod-protected", 12)));

    auto json = foundation::downloadSynchronously(url(backend().thumbnails().keyMomentsPath("vod-protected")), 20);
    ASSERT_TRUE(json);
    auto document = foundation::JSONDecoder::parse(foundation::stringFromData(*json));
    ASSERT_TRUE(document);
    std::vector<ZuKeyMomentEvent> events;
    for (const auto& o : (*document)["keyMoments"]) {
        auto text = [&](const char* key) -> std::optional<std::string> {
            return o.contains(key) ? std::optional<std::string>(o[key].get<std::string>()) : std::nullopt;
        };
        events.emplace_back(*text("code"), o["videoTime"].get<double>(), o["eventTime"].get<double>(),
                            *text("displayName"), text("displayTime"), text("player"), text("team"));
    }
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(events[2].happening, "23' - Goal");
    EXPECT_EQ(events[2].contestant, "J. Smith (Harbour FC)");

    auto strip = ZuKeyMomentsView::create(uikit::CGRect(0, 0, 600, 83));
    strip->update(events, (*document)["duration"].get<double>());
    EXPECT_EQ(strip->keyMomentItems().size(), 11u);

    auto missing = foundation::downloadSynchronously(url("/thumbnails/live-1/index.bif"), 20);
    EXPECT_FALSE(missing);
}

}  // namespace
}  // namespace lumora
