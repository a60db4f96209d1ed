#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "avfoundation/AVError.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/ContentKey.h"
#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"

using namespace avfoundation;
using avfoundation::testing::AVPlayerItemTesting;
using avfoundation::testing::runUntil;
using devserver::testing::HlsTestService;
using devserver::testing::mediaPlaylist;
using Status = AVPlayerItem::Status;

namespace {

const std::string kKey1 = "skd://keys.example.com/fairplay/license?contentId=asset-1&keyId=k1";
const std::string kKey2 = "skd://keys.example.com/fairplay/license?contentId=asset-1&keyId=k2";
const foundation::Data kCertificate = foundation::dataFromString("certificate bytes");

// Answers key requests as the test says, on the queue it was given.
class KeyDelegate final : public AVAssetResourceLoaderDelegate {
  public:
    enum class Mode { answer, hold, decline, failWithOwnError, notAKey };

    explicit KeyDelegate(std::shared_ptr<dispatch::DispatchQueue> queue) : queue_(std::move(queue)) {}

    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>&,
        const std::shared_ptr<AVAssetResourceLoadingRequest>& request) override {
        return handle(request, loads_);
    }
    bool resourceLoaderShouldWaitForRenewalOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>&,
        const std::shared_ptr<AVAssetResourceRenewalRequest>& request) override {
        return handle(request, renewals_);
    }

    // Answers a request as `answer` mode does.
    static void answer(const std::shared_ptr<AVAssetResourceLoadingRequest>& request,
                       std::optional<double> renewAfter) {
        const auto contentId = foundation::dataFromString("asset-1");
        auto spc = request->streamingContentKeyRequestData(kCertificate, contentId);
        ASSERT_TRUE(spc);
        request->dataRequest()->respond(foundation::dataFromString("CKC1:" + foundation::stringFromData(*spc)));
        if (renewAfter) request->contentInformationRequest()->setRenewalDate(foundation::Date::now() + *renewAfter);
        request->finishLoading();
    }

    std::atomic<Mode> mode{Mode::answer};
    std::atomic<double> renewAfter{0};  // 0: no renewal date
    std::atomic<bool> alwaysOnQueue{true};

    std::size_t loadCount() const {
        std::lock_guard lock(mutex_);
        return loads_.size();
    }
    std::size_t renewalCount() const {
        std::lock_guard lock(mutex_);
        return renewals_.size();
    }
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> loads() const {
        std::lock_guard lock(mutex_);
        return loads_;
    }
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> renewals() const {
        std::lock_guard lock(mutex_);
        return renewals_;
    }
    void resourceLoaderDidCancel(const std::shared_ptr<AVAssetResourceLoader>&,
                                 const std::shared_ptr<AVAssetResourceLoadingRequest>& request) override {
        if (!queue_->isCurrent()) alwaysOnQueue = false;
        std::lock_guard lock(mutex_);
        cancellations_.push_back(request);
    }
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> cancellations() const {
        std::lock_guard lock(mutex_);
        return cancellations_;
    }

  private:
    bool handle(const std::shared_ptr<AVAssetResourceLoadingRequest>& request,
                std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>>& list) {
        if (!queue_->isCurrent()) alwaysOnQueue = false;
        {
            std::lock_guard lock(mutex_);
            list.push_back(request);
        }
        switch (mode.load()) {
            case Mode::answer: {
                const double after = renewAfter.load();
                answer(request, after > 0 ? std::optional<double>(after) : std::nullopt);
                return true;
            }
            case Mode::hold:
                return true;
            case Mode::decline:
                return false;
            case Mode::failWithOwnError:
                request->finishLoading(foundation::NSError{"Test.KeyServer", 42, "refused by the key server"});
                return false;
            case Mode::notAKey:
                request->dataRequest()->respond(foundation::dataFromString("<html>500</html>"));
                request->finishLoading();
                return true;
        }
        return false;
    }

    std::shared_ptr<dispatch::DispatchQueue> queue_;
    mutable std::mutex mutex_;  // guards loads_ and renewals_
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> loads_;
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> renewals_;
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> cancellations_;
};

// A live stream of 6-second segments that rotates its key every five segments (30 s); the fifth key is
// the second one again. At clock time t its window holds the five segments from floor(t / 6) on, and when
// they are the whole of a key's stretch the playlist ends by naming the next key, before its first segment.
constexpr int kLiveWindow = 5;
std::string liveKey(long long segment) {
    const long long period = segment / 5;
    return "skd://keys.example.com/fairplay/license?contentId=live-1&keyId=p" +
           std::to_string(period == 4 ? 1 : period);
}
bool namesNextKey(long long first) {
    return (first + kLiveWindow) % 5 == 0;
}
// The keys the window from segment `first` names.
std::set<std::string> liveKeysFrom(long long first) {
    std::set<std::string> keys;
    for (long long n = first; n < first + kLiveWindow; ++n) keys.insert(liveKey(n));
    if (namesNextKey(first)) keys.insert(liveKey(first + kLiveWindow));
    return keys;
}
std::string liveWindow() {
    const double now = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
    const long long first = static_cast<long long>(std::floor(now / 6.0));
    std::map<int, std::string> keys;
    for (int i = 0; i < kLiveWindow; ++i) {
        if (i == 0 || liveKey(first + i) != liveKey(first + i - 1)) keys[i] = liveKey(first + i);
    }
    std::string text = mediaPlaylist(kLiveWindow, 6.0, /*endList=*/false, first, keys);
    if (namesNextKey(first)) {
        text += "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"" + liveKey(first + kLiveWindow) +
                "\",KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n";
    }
    return text;
}

class KeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {hls}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        hls->setPlaylist("/p/media.m3u8", mediaPlaylist(4, 6.0, true, 0, {{0, kKey1}, {2, kKey2}}));
    }
    void TearDown() override {
        hls->shutdown();
        server->stop();
    }

    // A player with the protected item, its asset's loader delegate set to `delegate` (when given).
    std::shared_ptr<AVPlayer> load(const std::shared_ptr<KeyDelegate>& d, const std::string& path = "/p/media.m3u8") {
        auto asset = AVURLAsset::create(*foundation::URL::fromString(server->baseURL() + path));
        if (d) asset->resourceLoader()->setDelegate(d, queue);
        return AVPlayer::create(AVPlayerItem::create(asset));
    }

    foundation::Error failureWith(KeyDelegate::Mode mode) {
        auto d = std::make_shared<KeyDelegate>(queue);
        d->mode = mode;
        auto player = load(d);
        auto item = player->currentItem();
        EXPECT_TRUE(runUntil([&] { return item->status() == Status::failed; }));
        EXPECT_EQ(hls->requestCount("/p/seg0.ts"), 0);
        return item->error().value_or(foundation::NSError{});
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<dispatch::DispatchQueue> queue = std::make_shared<dispatch::DispatchQueue>("queue");
    std::shared_ptr<HlsTestService> hls = std::make_shared<HlsTestService>();
    std::shared_ptr<devserver::Server> server;
};

}  // namespace

TEST(ContentKeyData, TheRequestDataIsTheSHA256OfTheCertificateFollowedByTheContentId) {
    using foundation::dataFromString;
    EXPECT_EQ(contentkey::sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(contentkey::sha256Hex(dataFromString("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // The two parts are one message, whether the cut falls inside a block or after many.
    EXPECT_EQ(foundation::stringFromData(contentkey::serverPlaybackContext(
                  dataFromString("abcdbcdecdefdefgefghfghighij"), dataFromString("hijkijkljklmklmnlmnomnopnopq"))),
              "SPC1:248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    foundation::Data certificate;
    for (int i = 0; i < 9 * 256; ++i) certificate.push_back(static_cast<std::uint8_t>(i % 256));
    for (int round = 0; round < 2; ++round) {  // the same again: nothing of the first call is carried over
        EXPECT_EQ(
            foundation::stringFromData(contentkey::serverPlaybackContext(certificate, dataFromString("vod-protected"))),
            "SPC1:987b42d1f4d4a52a7f6df8a088577f31861daef812b0b4986be452dd64c0adcd");
    }
    EXPECT_EQ(foundation::stringFromData(contentkey::serverPlaybackContext({}, {})),
              "SPC1:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(KeyTest, EveryKeyIsAskedOfTheDelegateOnItsQueueBeforeTheItemIsReady) {
    auto d = std::make_shared<KeyDelegate>(queue);
    d->mode = KeyDelegate::Mode::hold;
    auto player = load(d);
    auto item = player->currentItem();
    ASSERT_TRUE(runUntil([&] { return d->loadCount() == 2; }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(item->status(), Status::unknown);
    EXPECT_EQ(hls->requestCount("/p/seg0.ts"), 0);
    EXPECT_TRUE(d->alwaysOnQueue.load());
    const auto loads = d->loads();
    EXPECT_EQ(loads[0]->request().url.absoluteString(), kKey1);
    EXPECT_EQ(loads[1]->request().url.absoluteString(), kKey2);
    EXPECT_FALSE(std::dynamic_pointer_cast<AVAssetResourceRenewalRequest>(loads[0]));
    ASSERT_TRUE(loads[0]->dataRequest());
    ASSERT_TRUE(loads[0]->contentInformationRequest());

    // The request data is the documented function of the certificate and the content id.
    auto spc = loads[0]->streamingContentKeyRequestData(kCertificate, foundation::dataFromString("asset-1"));
    ASSERT_TRUE(spc);
    EXPECT_EQ(foundation::stringFromData(*spc),
              "SPC1:" + contentkey::sha256Hex(foundation::dataFromString("certificate bytesasset-1")));

    KeyDelegate::answer(loads[0], std::nullopt);
    dispatch::RunLoop::main().runUntilIdle();    // the answer reaches the item
    EXPECT_EQ(item->status(), Status::unknown);  // the second key is still open
    EXPECT_EQ(hls->requestCount("/p/seg0.ts"), 0);
    KeyDelegate::answer(loads[1], std::nullopt);
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; }));
    loads[1]->finishLoading(foundation::NSError{"late", 1, "late"});  // a second answer is ignored
    EXPECT_TRUE(loads[1]->isFinished());
    EXPECT_FALSE(loads[1]->error());
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(item->status(), Status::readyToPlay);
}

// What the delegate does to answer a request the player gave up (an item that went, a key asked again)
// may stop: the delegate hears of each, on its queue, and of no request it answered.
TEST_F(KeyTest, AKeyRequestThePlayerGivesUpIsHandedBackToTheDelegate) {
    auto d = std::make_shared<KeyDelegate>(queue);
    d->mode = KeyDelegate::Mode::hold;
    auto player = load(d);
    ASSERT_TRUE(runUntil([&] { return d->loadCount() == 2; }));
    KeyDelegate::answer(d->loads()[0], std::nullopt);
    dispatch::RunLoop::main().runUntilIdle();
    player->replaceCurrentItem(nullptr);  // the item goes with its player's reference
    ASSERT_TRUE(runUntil([&] { return !d->cancellations().empty(); }));
    queue->sync([] {});
    ASSERT_EQ(d->cancellations().size(), 1u);
    EXPECT_EQ(d->cancellations()[0], d->loads()[1]);
    EXPECT_TRUE(d->loads()[1]->isCancelled());
    EXPECT_TRUE(d->alwaysOnQueue.load());
}

// Logs what a delegate hears, in order. While it is asked it can give the request up itself (as the player
// would from elsewhere) and then look, for a short while, for a cancel that must not overtake the ask.
class OrderDelegate final : public AVAssetResourceLoaderDelegate {
  public:
    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>&,
        const std::shared_ptr<AVAssetResourceLoadingRequest>& request) override {
        note("asked");
        if (giveUpWhileAsked) {
            request->cancel();
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(300), [&] { return log_.back() == "cancelled"; });
        }
        note("answered later");
        return true;
    }
    void resourceLoaderDidCancel(const std::shared_ptr<AVAssetResourceLoader>&,
                                 const std::shared_ptr<AVAssetResourceLoadingRequest>&) override {
        note("cancelled");
    }
    // True once `entry` is in the log, waiting at most a bound far beyond any delivery.
    bool waitFor(const std::string& entry) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return std::ranges::find(log_, entry) != log_.end(); });
    }
    std::vector<std::string> log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }

    bool giveUpWhileAsked = false;

  private:
    void note(const std::string& entry) {
        {
            std::lock_guard lock(mutex_);
            log_.push_back(entry);
        }
        changed_.notify_all();
    }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> log_;
};

TEST(ResourceLoaderTest, ACancelReachesTheDelegateOnlyAfterTheRequestItself) {
    const auto keyRequest = [] {
        return AVAssetResourceLoadingRequest::create(foundation::URLRequest(*foundation::URL::fromString(kKey1)));
    };
    // No queue of its own: the delegate is called on the shared queue, whose blocks run side by side.
    auto loader = AVAssetResourceLoader::create();
    auto d = std::make_shared<OrderDelegate>();
    d->giveUpWhileAsked = true;
    loader->setDelegate(d, nullptr);
    auto request = keyRequest();
    loader->loadRequest(request);
    ASSERT_TRUE(d->waitFor("cancelled"));
    EXPECT_EQ(d->log(), (std::vector<std::string>{"asked", "answered later", "cancelled"}));

    // Given up before its turn on the delegate's queue, a request reaches the delegate neither way.
    auto queue = std::make_shared<dispatch::DispatchQueue>("delegate");
    auto early = std::make_shared<OrderDelegate>();
    loader->setDelegate(early, queue);
    std::promise<void> go;
    queue->async([turn = go.get_future().share()] { turn.wait_for(std::chrono::seconds(10)); });
    auto givenUp = keyRequest();
    loader->loadRequest(givenUp);
    EXPECT_TRUE(givenUp->cancel());
    go.set_value();
    queue->sync([] {});
    EXPECT_TRUE(early->log().empty());
}

TEST_F(KeyTest, AKeyThatIsNotAnsweredFailsTheItem) {
    auto declined = failureWith(KeyDelegate::Mode::decline);
    EXPECT_TRUE(AVError::is(declined, AVError::contentKeyRequestFailed));
    EXPECT_NE(declined.localizedDescription().find("declined"), std::string::npos);

    auto refused = failureWith(KeyDelegate::Mode::failWithOwnError);
    EXPECT_TRUE(AVError::is(refused, AVError::contentKeyRequestFailed));
    const auto* bridged = refused.as<foundation::NSError>();
    ASSERT_TRUE(bridged && bridged->underlying);
    EXPECT_EQ(bridged->underlying->domain(), "Test.KeyServer");  // the delegate's own error, kept
    EXPECT_EQ(bridged->underlying->code(), 42);

    EXPECT_TRUE(AVError::is(failureWith(KeyDelegate::Mode::notAKey), AVError::invalidContentKey));

    // No delegate at all, or one that is gone by the time the key is asked.
    auto none = load(nullptr)->currentItem();
    ASSERT_TRUE(runUntil([&] { return none->status() == Status::failed; }));
    EXPECT_TRUE(AVError::is(*none->error(), AVError::contentKeyRequestFailed));
    auto gone = std::make_shared<KeyDelegate>(queue);
    auto player = load(gone);
    gone.reset();
    ASSERT_TRUE(runUntil([&] { return player->currentItem()->status() == Status::failed; }));

    // Keys the player cannot use.
    hls->setPlaylist("/aes/media.m3u8", mediaPlaylist(2, 6.0, true, 0, {{0, "https://keys.example.com/k.bin"}}));
    auto aes = load(std::make_shared<KeyDelegate>(queue), "/aes/media.m3u8")->currentItem();
    ASSERT_TRUE(runUntil([&] { return aes->status() == Status::failed; }));
    EXPECT_TRUE(AVError::is(*aes->error(), AVError::unsupportedKeyMethod));
}

TEST_F(KeyTest, AKeyWithARenewalDateIsRenewedWhenTheDateComes) {
    auto d = std::make_shared<KeyDelegate>(queue);
    d->renewAfter = 60;
    auto player = load(d);
    auto item = player->currentItem();
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; }));
    ASSERT_EQ(d->loadCount(), 2u);
    clock.advance(59.9);
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(d->renewalCount(), 0u);
    clock.advance(0.1);
    // The delegate answers on its own queue, stamping the next renewal date from the clock: wait for the
    // answers before moving the clock on, or the next dates would be counted from the later time.
    auto answered = [&](std::size_t count) {
        if (d->renewalCount() != count) return false;
        for (const auto& r : d->renewals()) {
            if (!r->isFinished()) return false;
        }
        return true;
    };
    ASSERT_TRUE(runUntil([&] { return answered(2); }));
    auto renewals = d->renewals();
    EXPECT_TRUE(std::dynamic_pointer_cast<AVAssetResourceRenewalRequest>(renewals[0]));
    EXPECT_EQ(renewals[0]->request().url.absoluteString(), kKey1);
    dispatch::RunLoop::main().runUntilIdle();
    clock.advance(60);  // each renewal answered with another date: renewed again
    ASSERT_TRUE(runUntil([&] { return answered(4); }));
    EXPECT_EQ(d->loadCount(), 2u);
    EXPECT_EQ(item->status(), Status::readyToPlay);

    // A failed renewal fails the item while it plays.
    d->mode = KeyDelegate::Mode::failWithOwnError;
    foundation::Notification failure;
    auto token = foundation::NotificationCenter::defaultCenter().addObserver(
        AVPlayerItemFailedToPlayToEndTimeNotification, item, nullptr, [&](const auto& n) { failure = n; });
    const dispatch::testing::RestoreOnExit removeObserver(
        [token] { foundation::NotificationCenter::defaultCenter().removeObserver(token); });
    dispatch::RunLoop::main().runUntilIdle();
    clock.advance(60);
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::failed; }));
    EXPECT_TRUE(failure.userInfo.count(AVPlayerItemFailedToPlayToEndTimeErrorKey));
}

TEST_F(KeyTest, ARenewalDateTooFarForTheClockIsNeverDue) {
    // 1e10 s: added to the clock in nanoseconds it overflowed (undefined; in practice a time in the past,
    // renewed at once and again).
    for (double after : {1e10, 1e300, static_cast<double>(INFINITY)}) {
        auto d = std::make_shared<KeyDelegate>(queue);
        d->renewAfter = after;
        auto player = load(d);
        auto item = player->currentItem();
        ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; })) << after;
        clock.advance(3600 * 24 * 365.0);
        dispatch::RunLoop::main().runUntilIdle();
        EXPECT_EQ(d->renewalCount(), 0u) << after;
        EXPECT_EQ(item->status(), Status::readyToPlay) << after;
    }
}

TEST_F(KeyTest, RequestDataIsRefusedForUnusableInput) {
    auto keyRequest =
        AVAssetResourceLoadingRequest::create(foundation::URLRequest(*foundation::URL::fromString(kKey1)));
    const auto id = foundation::dataFromString("asset-1");
    EXPECT_TRUE(keyRequest->streamingContentKeyRequestData(kCertificate, id));
    EXPECT_FALSE(keyRequest->streamingContentKeyRequestData({}, id));
    EXPECT_FALSE(keyRequest->streamingContentKeyRequestData(kCertificate, {}));
    keyRequest->finishLoading(foundation::NSError{"x", 1, "no"});
    auto late = keyRequest->streamingContentKeyRequestData(kCertificate, id);
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().code(), AVError::invalidKeyRequestInput);
    EXPECT_EQ(keyRequest->error()->localizedDescription(), "no");

    auto notAKey = AVAssetResourceLoadingRequest::create(
        foundation::URLRequest(*foundation::URL::fromString("https://example.com/k")), {.dataRequest = false});
    EXPECT_FALSE(notAKey->dataRequest());
    EXPECT_EQ(notAKey->streamingContentKeyRequestData(kCertificate, id).error().localizedDescription(),
              "The request is not a content key request.");
    EXPECT_TRUE(notAKey->cancel());
    notAKey->finishLoading();
    EXPECT_FALSE(notAKey->isFinished());
    EXPECT_TRUE(notAKey->isCancelled());

    EXPECT_TRUE(contentkey::isContentKeyContext(foundation::dataFromString("CKC1:x")));
    EXPECT_FALSE(contentkey::isContentKeyContext(foundation::dataFromString("CKC1:")));
    EXPECT_FALSE(contentkey::isContentKeyContext({}));
}

// The window passes a key every 30 s: the key is retired (no renewal after it left, nothing held for it),
// and asked afresh when it comes back; a key named before its first segment is asked once. Keys renew every
// 24 s, so that no key falls due for renewal at the reload that retires it.
TEST_F(KeyTest, ALiveItemRenewsOnlyTheKeysOfItsWindowAndAsksAgainForAKeyThatComesBack) {
    hls->setDynamicPlaylist("/live/media.m3u8", liveWindow);
    auto d = std::make_shared<KeyDelegate>(queue);
    d->renewAfter = 24;
    auto player = load(d, "/live/media.m3u8");
    auto item = player->currentItem();
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; }));
    // Every request asked so far answered, and the answers handled (their renewals scheduled).
    auto settle = [&] {
        queue->sync([] {});
        dispatch::RunLoop::main().runUntilIdle();
    };
    settle();
    std::set<std::string> named = liveKeysFrom(0);
    std::size_t renewalsSeen = 0;
    std::map<std::string, int> renewals;
    // One reload every 6 s, the window starting at segment `s` after it.
    auto step = [&](long long s) {
        const int reloads = hls->requestCount("/live/media.m3u8");
        clock.advance(6);  // the reload may be merged inside the advance, or come later
        ASSERT_TRUE(runUntil([&] {
            return hls->requestCount("/live/media.m3u8") > reloads && !AVPlayerItemTesting::isLoadingPlaylist(*item);
        })) << s;
        settle();
        const auto now = liveKeysFrom(s);
        // A renewal made during the step was for a key of the window before the reload or after it.
        const auto made = d->renewals();
        for (; renewalsSeen < made.size(); ++renewalsSeen) {
            const std::string key = made[renewalsSeen]->request().url.absoluteString();
            EXPECT_TRUE(named.count(key) || now.count(key)) << key << " renewed at step " << s;
            ++renewals[key];
        }
        named = now;
        EXPECT_EQ(AVPlayerItemTesting::contentKeyCount(*item), named.size()) << s;
    };
    for (long long s = 1; s <= 40; ++s) step(s);  // four minutes: the window moves past eight keys
    ASSERT_EQ(item->status(), Status::readyToPlay);

    std::vector<std::string> asked;
    for (const auto& r : d->loads()) asked.push_back(r->request().url.absoluteString());
    // In the order they were named; the second key asked again for its second stretch.
    EXPECT_EQ(asked, (std::vector<std::string>{liveKey(0), liveKey(5), liveKey(10), liveKey(15), liveKey(20),
                                               liveKey(25), liveKey(30), liveKey(35), liveKey(40), liveKey(45)}));
    // At most two renewals a stretch (60 s named at most), the returning key two stretches; the first key
    // was renewed once, where it used to be renewed every 24 s to the end of the session.
    for (const auto& [key, count] : renewals) EXPECT_LE(count, key == liveKey(5) ? 4 : 2) << key;
    EXPECT_EQ(renewals[liveKey(0)], 1);

    // A key still unanswered when the window moves past it: its request is cancelled and the item plays on.
    for (long long s = 41; s <= 44; ++s) step(s);
    d->mode = KeyDelegate::Mode::hold;
    step(45);  // the eleventh key is named
    const auto held = d->loads().back();
    EXPECT_EQ(held->request().url.absoluteString(), liveKey(50));
    d->mode = KeyDelegate::Mode::answer;
    for (long long s = 46; s <= 55; ++s) step(s);
    EXPECT_TRUE(held->isCancelled());
    EXPECT_EQ(item->status(), Status::readyToPlay);
}

// Nothing is retired on demand: every key of a video on demand is renewed for as long as the item is
// played, past its segments and its end.
TEST_F(KeyTest, AnOnDemandItemRenewsEveryKeyForAsLongAsItPlays) {
    auto d = std::make_shared<KeyDelegate>(queue);
    d->renewAfter = 24;
    auto player = load(d);
    auto item = player->currentItem();
    ASSERT_TRUE(runUntil([&] { return item->status() == Status::readyToPlay; }));
    player->play();
    for (int s = 0; s <= 12; ++s) {  // the end at 24 s, then another 48 s
        if (s > 0) clock.advance(6);
        queue->sync([] {});  // renewals answered before the clock moves on
        dispatch::RunLoop::main().runUntilIdle();
    }
    std::map<std::string, int> renewals;
    for (const auto& r : d->renewals()) ++renewals[r->request().url.absoluteString()];
    EXPECT_EQ(renewals, (std::map<std::string, int>{{kKey1, 3}, {kKey2, 3}}));
    EXPECT_EQ(AVPlayerItemTesting::contentKeyCount(*item), 2u);
    EXPECT_EQ(d->loadCount(), 2u);
}
