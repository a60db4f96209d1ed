#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "avfoundation/AVError.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/EntitlementService.h"
#include "devserver/HlsService.h"
#include "devserver/IdentityService.h"
#include "devserver/Jwt.h"
#include "devserver/LicenceService.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/testing/SilentOrigin.h"
#include "playback/DRMAssetResourceLoader.h"
#include "playback/DRMService.h"
#include "playback/LicenceRedirect.h"
#include "playback/ZuVideoView.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using avfoundation::testing::runUntil;

namespace {

// The local back end of the protected catalogue: HLS content, certificate and licence servers that
// accept the entitlement tokens of the back end's entitlement service.
class FairPlayEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        auto identity = devserver::IdentityService::create();
        entitlement = devserver::EntitlementService::create(identity);
        licence = devserver::LicenceService::create(
            {.verifyToken = [e = entitlement](std::string_view token) { return e->verify(token); }});
        hls = devserver::HlsService::create(
            {.liveClock = [] { return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now()); }});
        auto started = devserver::Server::start({.services = {identity, entitlement, hls, licence}});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        redirect.emplace("127.0.0.1", server->baseURL());
    }
    void TearDown() override {
        redirect.reset();
        server->stop();
    }

    // An entitlement token of the back end for `account`.
    std::string token(const std::string& account, const std::string& status = "active") const {
        const auto now =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        return devserver::jwt::signHS256(
            {{"sub", account}, {"account_status", status}, {"exp", now + 3600}, {"scope", "play"}},
            entitlement->options().secret);
    }

    StreamDRMSettings settings(std::optional<std::string> viewerToken,
                               const std::string& certificatePath = "/fairplay/certificate") {
        return StreamDRMSettings(
            server->baseURL() + certificatePath, [viewerToken](StreamDRMSettings::TokenCompletion completion) {
                // The account service answers on a queue of its own.
                dispatch::DispatchQueue::global().async([completion, viewerToken] { completion(viewerToken); });
            });
    }

    // Loads the asset into a new view with a new loader; the item, once it is ready or failed.
    std::shared_ptr<AVPlayerItem> play(const std::string& assetId,
                                       const std::shared_ptr<DRMAssetResourceLoader>& loader) {
        view = ZuVideoView::create();
        view->setResourceLoaderDelegate(loader);
        std::optional<std::optional<foundation::Error>> loaded;
        view->load(*foundation::URL::fromString(server->baseURL() + "/hls/" + assetId + "/master.m3u8"),
                   [&](std::optional<foundation::Error> error) { loaded = std::move(error); });
        EXPECT_TRUE(runUntil([&] { return loaded.has_value(); }));
        EXPECT_FALSE(loaded && *loaded);
        auto item = view->player()->currentItem();
        EXPECT_TRUE(item);
        if (!item) return nullptr;
        EXPECT_TRUE(runUntil([&] { return item->status() != AVPlayerItem::Status::unknown; }));
        return item;
    }

    std::vector<devserver::RecordedRequest> licenceRequests() const {
        return server->requestLog().entries("/fairplay/license");
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::EntitlementService> entitlement;
    std::shared_ptr<devserver::LicenceService> licence;
    std::shared_ptr<devserver::HlsService> hls;
    std::shared_ptr<devserver::Server> server;
    std::optional<lumora::LicenceRedirect> redirect;
    std::shared_ptr<ZuVideoView> view;
};

}  // namespace

TEST_F(FairPlayEndToEnd, AProtectedAssetPlaysWithKeysFetchedWithTheViewersTokenAndRenewedOnTime) {
    licence->setRenewalDuration("600");
    const std::string viewer = token("acct-42");
    auto loader = DRMAssetResourceLoader::create(settings(viewer));
    auto item = play("vod-protected", loader);
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay) << item->error()->localizedDescription();
    EXPECT_EQ(item->duration().seconds(), 120);

    auto sent = licenceRequests();
    ASSERT_EQ(sent.size(), 2u);  // the asset's two keys, requested at once: they may arrive in either order
    std::set<std::optional<std::string>> keyIds{sent[0].queryValue("keyId"), sent[1].queryValue("keyId")};
    EXPECT_EQ(keyIds, (std::set<std::optional<std::string>>{"vod-protected-key-1", "vod-protected-key-2"}));
    for (const auto& request : sent) {
        EXPECT_EQ(request.header("Authorization"), "Bearer " + viewer);
        EXPECT_EQ(request.queryValue("contentId"), "vod-protected");
    }
    EXPECT_EQ(licence->keysServed(), 2);
    ASSERT_TRUE(runUntil([&] { return !loader->isRequestingResource(); }));
    const auto due = foundation::Date::now() + 600;
    EXPECT_EQ(loader->nextExpectedRenewalDate(), due);

    // Playing on while the clock runs: the keys are asked again when their date comes, and served.
    ASSERT_TRUE(runUntil([&] { return item->loadedTimeRanges().back().end().seconds() >= 36; }));
    view->player()->play();
    clock.advance(20);
    ASSERT_TRUE(runUntil([&] { return item->loadedTimeRanges().back().end().seconds() >= 50; }))
        << item->loadedTimeRanges().back().end().seconds() << " at " << view->player()->currentTime().seconds();
    clock.advance(579.5);
    EXPECT_EQ(licenceRequests().size(), 2u);
    clock.advance(0.5);
    ASSERT_TRUE(runUntil([&] { return licence->keysServed() == 4 && !loader->isRequestingResource(); }));
    EXPECT_EQ(loader->nextExpectedRenewalDate(), due + 600);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    EXPECT_EQ(loader->statePublisher().value().value(), std::nullopt);
    EXPECT_EQ(server->requestLog().entries("/fairplay/certificate").size(), 4u);  // fetched for every key request
}

TEST_F(FairPlayEndToEnd, AnAbsurdRenewalHeaderRenewsOnTheUsualIntervalInsteadOfAtOnce) {
    // About 317 years: added to the clock it overflowed, and the keys were renewed at once, again and again.
    licence->setRenewalDuration("1e10");
    auto loader = DRMAssetResourceLoader::create(settings(token("acct-5")));
    auto item = play("vod-protected", loader);
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    ASSERT_TRUE(runUntil([&] { return licence->keysServed() == 2 && !loader->isRequestingResource(); }));
    EXPECT_EQ(loader->nextExpectedRenewalDate(), foundation::Date::now() + DRMService::defaultRenewalInterval);
    clock.advance(119.5);
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(licenceRequests().size(), 2u);
    clock.advance(0.5);
    ASSERT_TRUE(runUntil([&] { return licence->keysServed() == 4 && !loader->isRequestingResource(); }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(licenceRequests().size(), 4u);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
}

TEST_F(FairPlayEndToEnd, ATinyRenewalIntervalRenewsAfterTheFloorInsteadOfLoopingWhileTheClockStands) {
    // Due at once, each answer asked for the key again: 245 licence requests in 0.3 s with the clock stopped.
    licence->setRenewalDuration("1e-300");
    auto loader = DRMAssetResourceLoader::create(settings(token("acct-6")));
    auto item = play("vod-protected", loader);
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    // Either both keys are answered and nothing more is asked, or the loop shows at once.
    ASSERT_TRUE(runUntil([&] {
        return (licence->keysServed() == 2 && !loader->isRequestingResource()) || licenceRequests().size() > 2;
    }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(licenceRequests().size(), 2u);
    EXPECT_EQ(loader->nextExpectedRenewalDate(), foundation::Date::now() + DRMService::minimumRenewalInterval);
    clock.advance(DRMService::minimumRenewalInterval - 0.5);
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(licenceRequests().size(), 2u);
    clock.advance(0.5);
    ASSERT_TRUE(runUntil([&] {
        return (licence->keysServed() == 4 && !loader->isRequestingResource()) || licenceRequests().size() > 4;
    }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(licenceRequests().size(), 4u);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
}

// A key request the player gives up aborts its licence request: the licence server, which never answers,
// sees the connection close at once instead of at the 60-second time-out. Released with its requests under
// way, a loader aborts them too.
TEST_F(FairPlayEndToEnd, AbandonedKeyRequestsHangUpOnTheLicenceServerAtOnce) {
    foundation::testing::SilentOrigin silent;
    ASSERT_NE(silent.port(), 0);
    redirect.emplace("127.0.0.1", silent.baseURL());
    auto loader = DRMAssetResourceLoader::create(settings(token("acct-4")));
    std::mutex mutex;  // published on the licence answers' queues
    std::vector<std::optional<DRMError>> published;
    auto subscription = loader->statePublisher().subscribe([&](std::optional<DRMError> e) {
        std::lock_guard lock(mutex);
        published.push_back(e);
    });
    view = ZuVideoView::create();
    view->setResourceLoaderDelegate(loader);
    std::optional<std::optional<foundation::Error>> loaded;
    view->load(*foundation::URL::fromString(server->baseURL() + "/hls/vod-protected/master.m3u8"),
               [&](std::optional<foundation::Error> error) { loaded = std::move(error); });
    ASSERT_TRUE(runUntil([&] { return loaded.has_value() && silent.requests().size() == 2; }));
    auto item = view->player()->currentItem();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::unknown);
    EXPECT_EQ(silent.requests()[0].substr(0, 24), "POST /fairplay/license?c");

    // The item goes: its key requests are given up, and their licence requests with them.
    view->player()->replaceCurrentItem(nullptr);
    item = nullptr;
    ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 2; }));
    ASSERT_TRUE(runUntil([&] { return !loader->isRequestingResource(); }));
    dispatch::RunLoop::main().runUntilIdle();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(published, (std::vector<std::optional<DRMError>>{std::nullopt}));  // no licence failure
    }

    // A loader released while its licence requests wait.
    view->load(*foundation::URL::fromString(server->baseURL() + "/hls/vod-protected/master.m3u8"));
    ASSERT_TRUE(runUntil([&] { return silent.requests().size() == 4; }));
    subscription.dispose();
    loader = nullptr;
    ASSERT_TRUE(runUntil([&] { return silent.hangUps() == 4; }));
    item = view->player()->currentItem();
    ASSERT_TRUE(runUntil([&] { return item->status() == AVPlayerItem::Status::failed; }));
    EXPECT_NE(item->error()->localizedDescription().find("The licence request was cancelled."), std::string::npos)
        << item->error()->localizedDescription();
}

TEST_F(FairPlayEndToEnd, ARefusedLicencePublishesLicenseRefusedAndFailsTheItem) {
    licence->setEntitled("acct-7", false);
    auto loader = DRMAssetResourceLoader::create(settings(token("acct-7")));
    auto item = play("vod-protected", loader);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::failed);
    ASSERT_TRUE(runUntil([&] { return loader->statePublisher().value().value() == DRMError::licenseRefused; }));
    const auto* error = item->error()->as<foundation::NSError>();
    ASSERT_TRUE(error && error->underlying);
    EXPECT_EQ(error->underlying->domain(), "Lumora.DRMError");
    EXPECT_EQ(error->underlying->code(), DRMError::licenseRefused);
    // The item's error says what happened, through the key loader's own words.
    EXPECT_NE(item->error()->localizedDescription().find(
                  "failed: The licence server refused the content key (HTTP 403, code 130401). (Lumora.DRMError "
                  "error 6.)"),
              std::string::npos)
        << item->error()->localizedDescription();
    EXPECT_FALSE(loader->nextExpectedRenewalDate());

    // An inactive account is refused the same way; another refusal code is a failed exchange.
    auto inactive = DRMAssetResourceLoader::create(settings(token("acct-8", "inactive")));
    play("vod-protected", inactive);
    ASSERT_TRUE(runUntil([&] { return inactive->statePublisher().value().value() == DRMError::licenseRefused; }));
    licence->scriptRefusal(120001, 2);
    auto scripted = DRMAssetResourceLoader::create(settings(token("acct-9")));
    play("vod-protected", scripted);
    ASSERT_TRUE(runUntil([&] { return scripted->statePublisher().value().value() == DRMError::keyExchangeFailed; }));
}

TEST_F(FairPlayEndToEnd, FailuresBeforeTheLicenceRequestFailTheItemWithoutPublishing) {
    auto signedOut = DRMAssetResourceLoader::create(settings(std::nullopt));
    auto item = play("vod-protected", signedOut);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->status(), AVPlayerItem::Status::failed);
    EXPECT_EQ(item->error()->as<foundation::NSError>()->underlying->code(), DRMError::missingToken);
    EXPECT_NE(item->error()->localizedDescription().find("The token source gave no token for the licence request; "
                                                         "no licence was requested."),
              std::string::npos)
        << item->error()->localizedDescription();
    auto wrongCertificate = DRMAssetResourceLoader::create(settings(token("acct-1"), "/no/certificate"));
    item = play("vod-protected", wrongCertificate);
    EXPECT_EQ(item->error()->as<foundation::NSError>()->underlying->code(), DRMError::keyExchangeFailed);
    EXPECT_TRUE(licenceRequests().empty());
    EXPECT_EQ(signedOut->statePublisher().value().value(), std::nullopt);
    EXPECT_EQ(wrongCertificate->statePublisher().value().value(), std::nullopt);

    // A certificate that is not the server's makes request data the licence server refuses.
    auto otherService = devserver::LicenceService::create({.certificatePath = "/other/certificate",
                                                           .licencePath = "/other/license",
                                                           .certificate = "another certificate"});
    auto other = devserver::Server::start({.services = {otherService}});
    ASSERT_TRUE(other);
    auto stranger = DRMAssetResourceLoader::create(
        StreamDRMSettings((*other)->baseURL() + "/other/certificate", settings(token("acct-1")).jwt));
    item = play("vod-protected", stranger);
    ASSERT_TRUE(runUntil([&] { return stranger->statePublisher().value().value() == DRMError::keyExchangeFailed; }));
    EXPECT_EQ(licence->keysServed(), 0);
    (*other)->stop();
}

TEST_F(FairPlayEndToEnd, TheProtectedLiveStreamPlaysAsLive) {
    auto loader = DRMAssetResourceLoader::create(settings(token("acct-3")));
    auto item = play("live-1", loader);
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    EXPECT_TRUE(view->isLive());
    EXPECT_EQ(licenceRequests().size(), 1u);
    EXPECT_EQ(item->seekableTimeRanges().front().end().seconds(), 42);
    clock.advance(6);
    ASSERT_TRUE(runUntil([&] { return item->seekableTimeRanges().front().start.seconds() == 6; }));
}

TEST_F(FairPlayEndToEnd, TheCatalogueIsServedAsHLSWithSegmentsSizedByBandwidth) {
    const std::string base = server->baseURL() + "/hls/";
    auto get = [&](const std::string& path) {
        return foundation::downloadSynchronously(*foundation::URL::fromString(base + path), 10);
    };
    auto segment = get("vod-clear/v1/seg0.ts");
    ASSERT_TRUE(segment);
    EXPECT_EQ(segment->size(), 300000u * 6 / 8);
    EXPECT_EQ(get("vod-clear/v2/seg19.ts")->size(), 600000u * 6 / 8);
    EXPECT_FALSE(get("vod-clear/v0/seg20.ts"));
    EXPECT_FALSE(get("nothing/master.m3u8"));
    EXPECT_FALSE(get("live-1/v0/seg10.ts"));  // not produced yet at clock time 0
    EXPECT_TRUE(get("live-1/v0/seg9.ts"));
    EXPECT_TRUE(get("vod-clear/subs/sv/seg3.vtt"));

    // The asset with subtitles, through the media player.
    auto item = play("vod-clear", nullptr);
    ASSERT_TRUE(item);
    ASSERT_EQ(item->status(), AVPlayerItem::Status::readyToPlay);
    auto group = item->asset()->mediaSelectionGroup(avfoundation::AVMediaCharacteristicLegible);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->options().size(), 2u);
    EXPECT_EQ(group->options()[0]->extendedLanguageTag(), "en");
    EXPECT_EQ(group->options()[1]->displayName(), "Svenska");
    EXPECT_EQ(item->accessLog()->events.back().indicatedBitrate, 150000);
    EXPECT_EQ(item->presentationSize().width, 416);
}
