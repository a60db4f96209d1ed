#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "devserver/Server.h"
#include "devserver/ThumbnailService.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "imageio/ImageDecoder.h"
#include "sdwebimage/SDWebImage.h"
#include "sdwebimage/testing/ScriptedImageLoader.h"

namespace sdwebimage {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    std::shared_ptr<uikit::UIImage> image;
    std::optional<foundation::Data> data;
    std::optional<foundation::Error> error;
    bool finished = false;
    std::optional<foundation::URL> url;
    bool onMainThread = false;
};

struct Recorder {
    std::vector<Outcome> outcomes;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;

    SDInternalCompletionBlock completion() {
        return [this](auto image, auto data, auto error, SDImageCacheType, bool finished, auto url) {
            outcomes.push_back({std::move(image), std::move(data), std::move(error), finished, std::move(url),
                                dispatch::RunLoop::main().isMainThread()});
        };
    }
    SDImageLoaderProgressBlock progressBlock() {
        return [this](std::int64_t received, std::int64_t expected, const auto&) {
            progress.emplace_back(received, expected);
        };
    }
    const SDWebImageError* error(std::size_t i = 0) const {
        return outcomes.at(i).error ? outcomes.at(i).error->as<SDWebImageError>() : nullptr;
    }
};

// Records the thread it ran on; halves nothing, just tags the image by making a copy at another scale.
class RescalingTransformer final : public SDImageTransformer {
  public:
    explicit RescalingTransformer(bool fails = false) : fails_(fails) {}
    std::string transformerKey() const override { return "rescale(4)"; }
    std::shared_ptr<uikit::UIImage> transformedImage(const std::shared_ptr<uikit::UIImage>& image,
                                                     const std::string& key) override {
        ranOnMainThread = dispatch::RunLoop::main().isMainThread();
        seenKey = key;
        if (fails_) return nullptr;
        return uikit::UIImage::create(image->bitmap(), 4.0);
    }
    std::atomic<bool> ranOnMainThread{true};
    std::string seenKey;

  private:
    bool fails_;
};

foundation::Data pngBytes(std::uint32_t width, std::uint32_t height) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(width, height, {10, 200, 30, 255}));
}

// ---- The manager's own rules, with a scripted loader -------------------------------------------------------

class SDWebImageManagerTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<testing::ScriptedImageLoader> loader = testing::ScriptedImageLoader::create();
    std::shared_ptr<SDWebImageManager> manager = SDWebImageManager::create(loader);
    Recorder recorder;
    foundation::URL url = *foundation::URL::fromString("https://images.example/a.png");
};

TEST_F(SDWebImageManagerTest, DecodesWithTheContextScaleAndAnswersOnTheMainQueueLater) {
    manager->loadImage(url, {}, {{SDWebImageContextImageScaleFactor, uikit::CGFloat(2.0)}}, recorder.progressBlock(),
                       recorder.completion());
    ASSERT_EQ(loader->count(), 1u);
    EXPECT_EQ(loader->request(0).url, url);

    loader->respond(0, pngBytes(40, 20));
    EXPECT_TRUE(recorder.outcomes.empty()) << "the answer is posted to the main queue, never called inline";
    clock.runUntilIdle();

    ASSERT_EQ(recorder.outcomes.size(), 1u);
    const Outcome& outcome = recorder.outcomes[0];
    ASSERT_TRUE(outcome.image);
    EXPECT_EQ(outcome.image->scale(), 2.0);
    EXPECT_EQ(outcome.image->size(), (uikit::CGSize{20, 10}));
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.url, url);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.data, pngBytes(40, 20));
    EXPECT_EQ(recorder.progress.size(), 1u);
}

TEST_F(SDWebImageManagerTest, AScaleThatIsNotAPositiveNumberIsIgnored) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double scale : {0.0, -2.0, nan, std::numeric_limits<double>::infinity()}) {
        manager->loadImage(url, {}, {{SDWebImageContextImageScaleFactor, scale}}, nullptr, recorder.completion());
    }
    // A value of the wrong kind for its key is ignored too.
    manager->loadImage(url, {}, {{SDWebImageContextImageScaleFactor, std::shared_ptr<SDImageTransformer>()}}, nullptr,
                       recorder.completion());
    for (std::size_t i = 0; i < loader->count(); ++i) loader->respond(i, pngBytes(8, 8));
    clock.runUntilIdle();
    ASSERT_EQ(recorder.outcomes.size(), 5u);
    for (const auto& outcome : recorder.outcomes) {
        ASSERT_TRUE(outcome.image);
        EXPECT_EQ(outcome.image->scale(), 1.0);
    }
}

TEST_F(SDWebImageManagerTest, TheTransformerMakesTheDeliveredImageAndAFailingOneLeavesTheDecodedImage) {
    auto transformer = std::make_shared<RescalingTransformer>();
    auto failing = std::make_shared<RescalingTransformer>(true);
    manager->loadImage(url, {}, {{SDWebImageContextImageTransformer, transformer}}, nullptr, recorder.completion());
    manager->loadImage(url, {}, {{SDWebImageContextImageTransformer, failing}}, nullptr, recorder.completion());
    loader->respond(0, pngBytes(8, 8));
    loader->respond(1, pngBytes(8, 8));
    clock.runUntilIdle();
    ASSERT_EQ(recorder.outcomes.size(), 2u);
    EXPECT_EQ(recorder.outcomes[0].image->scale(), 4.0);
    EXPECT_EQ(transformer->seenKey, "rescale(4)");
    ASSERT_TRUE(recorder.outcomes[1].image);
    EXPECT_EQ(recorder.outcomes[1].image->scale(), 1.0);
}

TEST_F(SDWebImageManagerTest, BadBytesAndStatusesEndWithAnErrorAndNoImage) {
    manager->loadImage(url, {}, {}, nullptr, recorder.completion());
    manager->loadImage(url, {}, {}, nullptr, recorder.completion());
    manager->loadImage(url, {}, {}, nullptr, recorder.completion());
    loader->respond(0, foundation::dataFromString("<html>not found</html>"));
    loader->respondStatus(1, 404);
    auto truncated = pngBytes(64, 64);
    truncated.resize(truncated.size() / 2);
    loader->respond(2, truncated);
    clock.runUntilIdle();

    ASSERT_EQ(recorder.outcomes.size(), 3u);
    for (const auto& outcome : recorder.outcomes) EXPECT_FALSE(outcome.image);
    ASSERT_TRUE(recorder.error(0));
    EXPECT_EQ(recorder.error(0)->kind(), SDWebImageError::Kind::badImageData);
    EXPECT_EQ(recorder.outcomes[0].data, foundation::dataFromString("<html>not found</html>"));
    ASSERT_TRUE(recorder.error(0)->underlyingError());
    EXPECT_TRUE(recorder.error(0)->underlyingError()->is<imageio::ImageDecodingError>());
    ASSERT_TRUE(recorder.error(1));
    EXPECT_EQ(recorder.error(1)->statusCode(), 404);
    ASSERT_TRUE(recorder.error(2));
    EXPECT_EQ(recorder.error(2)->kind(), SDWebImageError::Kind::badImageData);
}

TEST_F(SDWebImageManagerTest, AMissingOrNonWebURLIsReportedOnTheMainQueueWithoutALoad) {
    manager->loadImage(std::nullopt, {}, {}, nullptr, recorder.completion());
    manager->loadImage(foundation::URL::fromString("file:///etc/passwd"), {}, {}, nullptr, recorder.completion());
    EXPECT_EQ(loader->count(), 0u);
    EXPECT_TRUE(recorder.outcomes.empty());
    clock.runUntilIdle();
    ASSERT_EQ(recorder.outcomes.size(), 2u);
    EXPECT_EQ(recorder.error(0)->kind(), SDWebImageError::Kind::invalidURL);
    EXPECT_EQ(recorder.error(0)->localizedDescription(), "The image URL is missing.");
    EXPECT_EQ(recorder.error(1)->kind(), SDWebImageError::Kind::invalidURL);
}

TEST_F(SDWebImageManagerTest, CancellingReportsOnceAndStopsTheTransfer) {
    auto operation = manager->loadImage(url, {}, {}, recorder.progressBlock(), recorder.completion());
    operation->cancel();
    operation->cancel();
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(loader->request(0).cancelled);
    loader->respond(0, pngBytes(8, 8));  // too late: nothing is decoded or delivered
    clock.runUntilIdle();
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_FALSE(recorder.outcomes[0].image);
    EXPECT_EQ(recorder.error()->kind(), SDWebImageError::Kind::cancelled);
    EXPECT_TRUE(recorder.progress.empty());

    // After delivery, a cancel changes nothing.
    Recorder second;
    auto delivered = manager->loadImage(url, {}, {}, nullptr, second.completion());
    loader->respond(1, pngBytes(8, 8));
    clock.runUntilIdle();
    delivered->cancel();
    clock.runUntilIdle();
    ASSERT_EQ(second.outcomes.size(), 1u);
    EXPECT_TRUE(second.outcomes[0].image);
}

TEST_F(SDWebImageManagerTest, ACancelBetweenDecodingAndDeliveryWins) {
    auto operation = manager->loadImage(url, {}, {}, nullptr, recorder.completion());
    loader->respond(0, pngBytes(8, 8));  // decoded and posted
    operation->cancel();
    clock.runUntilIdle();
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_FALSE(recorder.outcomes[0].image);
    EXPECT_EQ(recorder.error()->kind(), SDWebImageError::Kind::cancelled);
}

// ---- Against the local back end ----------------------------------------------------------------------------

// A route that holds its answer until the test releases it, and tells the main loop when a request came in.
class GateService final : public devserver::Service {
  public:
    std::string name() const override { return "gate"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("GET", "/gate/*", [this](const devserver::RecordedRequest&) {
            dispatch::RunLoop::main().post([this] { arrived_ = true; });
            std::unique_lock lock(mutex_);
            released_.wait_for(lock, 20s, [this] { return open_; });
            const auto png = pngBytes(4, 4);
            return devserver::Reply{
                .status = 200, .body = std::string(png.begin(), png.end()), .contentType = "image/png"};
        });
    }
    bool arrived() const { return arrived_; }  // main thread
    void release() {
        std::lock_guard lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

  private:
    bool arrived_ = false;
    std::mutex mutex_;  // guards open_
    std::condition_variable released_;
    bool open_ = false;
};

class SDWebImageNetworkTest : public ::testing::Test {
  public:
    static void SetUpTestSuite() {
        thumbnails_ = new std::shared_ptr<devserver::ThumbnailService>(devserver::ThumbnailService::create());
        gate_ = new std::shared_ptr<GateService>(std::make_shared<GateService>());
        auto started = devserver::Server::start({.services = {*thumbnails_, *gate_}});
        ASSERT_TRUE(started) << started.error();
        server_ = new std::shared_ptr<devserver::Server>(*started);
    }
    static void TearDownTestSuite() {
        (*server_)->stop();
        delete server_;
        delete thumbnails_;
        delete gate_;
    }
    void SetUp() override {
        server().clearFaults();
        server().requestLog().clear();
    }

  protected:
    static devserver::Server& server() { return **server_; }
    static foundation::URL url(const std::string& path) {
        return *foundation::URL::fromString(server().baseURL() + path);
    }
    static devserver::ThumbnailService& thumbnails() { return **thumbnails_; }
    static GateService& gate() { return **gate_; }

    bool waitFor(const Recorder& recorder, std::size_t count) {
        return dispatch::RunLoop::main().runUntil([&] { return recorder.outcomes.size() >= count; }, 20s);
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<SDWebImageManager> manager = SDWebImageManager::create(SDWebImageDownloader::create());
    Recorder recorder;

  private:
    static std::shared_ptr<devserver::Server>* server_;
    static std::shared_ptr<devserver::ThumbnailService>* thumbnails_;
    static std::shared_ptr<GateService>* gate_;
};

std::shared_ptr<devserver::Server>* SDWebImageNetworkTest::server_ = nullptr;
std::shared_ptr<devserver::ThumbnailService>* SDWebImageNetworkTest::thumbnails_ = nullptr;
std::shared_ptr<GateService>* SDWebImageNetworkTest::gate_ = nullptr;

TEST_F(SDWebImageNetworkTest, LoadsAThumbnailFrameTransformedOffTheMainThread) {
    auto transformer = std::make_shared<RescalingTransformer>();
    manager->loadImage(url(thumbnails().framePath("vod-clear", 3)), {},
                       {{SDWebImageContextImageTransformer, transformer}}, recorder.progressBlock(),
                       recorder.completion());
    ASSERT_TRUE(waitFor(recorder, 1));
    const Outcome& outcome = recorder.outcomes[0];
    ASSERT_TRUE(outcome.image) << (outcome.error ? outcome.error->localizedDescription() : "");
    EXPECT_TRUE(outcome.onMainThread);
    EXPECT_FALSE(transformer->ranOnMainThread);
    EXPECT_EQ(outcome.image->pixelWidth(), 320u);
    EXPECT_EQ(outcome.image->pixelHeight(), 180u);
    EXPECT_EQ(outcome.image->scale(), 4.0);
    ASSERT_EQ(recorder.progress.size(), 1u);
    EXPECT_EQ(recorder.progress[0].first, static_cast<std::int64_t>(outcome.data->size()));
}

TEST_F(SDWebImageNetworkTest, ANotFoundAnswerANonImageBodyAndALostConnectionGiveNoImage) {
    manager->loadImage(url(thumbnails().framePath("vod-clear", 9999)), {}, {}, nullptr, recorder.completion());
    ASSERT_TRUE(waitFor(recorder, 1));
    const std::string path = thumbnails().framePath("vod-clear", 1);
    server().injectFault(path, {.status = 200, .body = "{\"not\":\"an image\"}"});
    manager->loadImage(url(path), {}, {}, nullptr, recorder.completion());
    ASSERT_TRUE(waitFor(recorder, 2));
    // A connection closed without an answer (twice: the client may retry once on a reused connection).
    const std::string dropped = thumbnails().framePath("vod-clear", 2);
    server().injectFault(dropped, {.dropConnection = true, .times = 2});
    manager->loadImage(url(dropped), {}, {}, nullptr, recorder.completion());
    ASSERT_TRUE(waitFor(recorder, 3));

    for (const auto& outcome : recorder.outcomes) {
        EXPECT_FALSE(outcome.image);
        EXPECT_TRUE(outcome.onMainThread);
    }
    EXPECT_EQ(recorder.error(0)->kind(), SDWebImageError::Kind::invalidDownloadStatusCode);
    EXPECT_EQ(recorder.error(0)->statusCode(), 404);
    EXPECT_EQ(recorder.error(1)->kind(), SDWebImageError::Kind::badImageData);
    EXPECT_EQ(recorder.error(2)->kind(), SDWebImageError::Kind::downloadFailed);
}

TEST_F(SDWebImageNetworkTest, CancellingALoadInFlightReportsTheCancellation) {
    auto operation = manager->loadImage(url("/gate/held.png"), {}, {}, nullptr, recorder.completion());
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return gate().arrived(); }, 20s));
    operation->cancel();
    gate().release();
    ASSERT_TRUE(waitFor(recorder, 1));
    EXPECT_FALSE(recorder.outcomes[0].image);
    EXPECT_EQ(recorder.error()->kind(), SDWebImageError::Kind::cancelled);
    clock.runUntilIdle();
    EXPECT_EQ(recorder.outcomes.size(), 1u);
}

}  // namespace
}  // namespace sdwebimage
