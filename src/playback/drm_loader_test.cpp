#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/LicenceService.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLError.h"
#include "playback/DRMAssetResourceLoader.h"
#include "playback/LicenceRedirect.h"

using namespace lumora;
using avfoundation::AVAssetResourceLoadingRequest;
using avfoundation::testing::runUntil;

namespace {

std::shared_ptr<AVAssetResourceLoadingRequest> keyRequest(const std::string& address,
                                                          avfoundation::AVAssetResourceLoadingRequestParts parts = {}) {
    return AVAssetResourceLoadingRequest::create(foundation::URLRequest(*foundation::URL::fromString(address)), parts);
}

std::optional<int> drmCode(const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
    auto error = request->error();
    if (!error || error->domain() != DRMError::errorDomain) return std::nullopt;
    return error->code();
}

// The DRMError a request was failed with.
std::optional<DRMError> drmFailure(const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
    auto error = request->error();
    if (!error || !error->as<DRMError>()) return std::nullopt;
    return *error->as<DRMError>();
}

// A licence address that has moved: "/moved/license" answers 302 to the licence server's address.
class MovedLicence final : public devserver::Service {
  public:
    std::string name() const override { return "moved"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("POST", "/moved/license", [](const devserver::RecordedRequest& request) {
            devserver::Reply reply{.status = 302, .body = "moved", .contentType = "text/plain"};
            reply.headers.emplace_back("Location", "/fairplay/license?" + request.query);
            return reply;
        });
    }
};

// A token source whose answers the test controls.
struct TokenSource {
    std::mutex mutex;  // guards waiting and immediate
    std::vector<StreamDRMSettings::TokenCompletion> waiting;
    std::optional<std::optional<std::string>> immediate = std::optional<std::string>("viewer-token");

    StreamDRMSettings::TokenProvider provider() {
        return [this](StreamDRMSettings::TokenCompletion completion) {
            std::unique_lock lock(mutex);
            if (immediate) {
                auto token = *immediate;
                lock.unlock();
                completion(token);
                return;
            }
            waiting.push_back(std::move(completion));
        };
    }
};

class DRMLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {licence, std::make_shared<MovedLicence>()}});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        redirect.emplace("127.0.0.1", server->baseURL());
        loader = DRMAssetResourceLoader::create(
            StreamDRMSettings(server->baseURL() + "/fairplay/certificate", tokens.provider()));
    }
    void TearDown() override {
        redirect.reset();
        server->stop();
    }

    bool ask(const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
        return loader->resourceLoaderShouldWaitForLoadingOfRequestedResource(platformLoader, request);
    }
    std::vector<devserver::RecordedRequest> licenceRequests() const {
        return server->requestLog().entries("/fairplay/license");
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::LicenceService> licence = devserver::LicenceService::create();
    std::shared_ptr<devserver::Server> server;
    std::optional<lumora::LicenceRedirect> redirect;
    TokenSource tokens;
    std::shared_ptr<DRMAssetResourceLoader> loader;
    std::shared_ptr<avfoundation::AVAssetResourceLoader> platformLoader = avfoundation::AVAssetResourceLoader::create();
};

const std::string kKey = "skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=key-1";

}  // namespace

TEST_F(DRMLoaderTest, AKeyRequestBecomesALicencePostAndItsAnswerTheKeyWithARenewalDate) {
    server->injectFault("/fairplay/license", {.delay = std::chrono::milliseconds(200)});
    auto request = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=key-1&other=x");
    EXPECT_FALSE(loader->isRequestingResource());
    EXPECT_TRUE(ask(request));
    EXPECT_TRUE(loader->isRequestingResource());
    ASSERT_TRUE(loader->task());
    ASSERT_TRUE(runUntil([&] { return request->isFinished(); }));
    EXPECT_FALSE(request->error());
    EXPECT_FALSE(loader->isRequestingResource());

    const auto sent = licenceRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].query, "contentId=vod-protected&keyId=key-1");  // the other item is dropped
    EXPECT_EQ(sent[0].header("Authorization"), "Bearer viewer-token");
    const std::string spc = devserver::licence::serverPlaybackContext(licence->certificate(), "vod-protected");
    EXPECT_EQ(sent[0].body, spc);
    EXPECT_EQ(loader->task()->originalRequest().url.absoluteString(),
              "https://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=key-1");
    EXPECT_EQ(loader->task()->originalRequest().timeoutInterval, 60.0);

    EXPECT_EQ(foundation::stringFromData(request->dataRequest()->respondedData()),
              devserver::licence::contentKeyContext(spc, "key-1"));
    const auto expected = foundation::Date::now() + 120;
    EXPECT_EQ(request->contentInformationRequest()->renewalDate(), expected);
    EXPECT_EQ(loader->nextExpectedRenewalDate(), expected);
    EXPECT_EQ(loader->statePublisher().value().value(), std::nullopt);

    licence->setRenewalDuration("3600");
    auto renewal =
        avfoundation::AVAssetResourceRenewalRequest::create(foundation::URLRequest(*foundation::URL::fromString(kKey)));
    EXPECT_TRUE(loader->resourceLoaderShouldWaitForRenewalOfRequestedResource(platformLoader, renewal));
    ASSERT_TRUE(runUntil([&] { return renewal->isFinished(); }));
    EXPECT_EQ(loader->nextExpectedRenewalDate(), foundation::Date::now() + 3600);
}

TEST_F(DRMLoaderTest, IdsAreEncodedAsQueryValues) {
    auto request = keyRequest("skd://127.0.0.1/fairplay/license?contentId=a%26b%20c&keyId=k%2B1");
    EXPECT_TRUE(ask(request));
    ASSERT_TRUE(runUntil([&] { return request->isFinished(); }));
    EXPECT_FALSE(request->error());
    const auto sent = licenceRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].query, "contentId=a%26b%20c&keyId=k%2B1");
    EXPECT_EQ(sent[0].queryValue("contentId"), "a&b c");
    EXPECT_EQ(sent[0].queryValue("keyId"), "k+1");
}

TEST_F(DRMLoaderTest, RequestsThatCannotBeAskedFailAtOnceWithoutPublishing) {
    auto noKeyId = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected");
    EXPECT_FALSE(ask(noKeyId));
    EXPECT_EQ(drmCode(noKeyId), DRMError::invalidKeyRequest);
    auto noDataRequest = keyRequest(kKey, {.dataRequest = false});
    EXPECT_FALSE(ask(noDataRequest));
    EXPECT_EQ(drmCode(noDataRequest), DRMError::invalidKeyRequest);
    auto badPath = keyRequest("skd://127.0.0.1/fair%20play?contentId=vod-protected&keyId=k");
    EXPECT_FALSE(ask(badPath));
    EXPECT_EQ(drmCode(badPath), DRMError::invalidLicenseURL);

    auto noCertificate =
        DRMAssetResourceLoader::create(StreamDRMSettings(server->baseURL() + "/missing", tokens.provider()));
    auto request = keyRequest(kKey);
    EXPECT_FALSE(noCertificate->resourceLoaderShouldWaitForLoadingOfRequestedResource(platformLoader, request));
    EXPECT_EQ(drmCode(request), DRMError::keyExchangeFailed);
    auto fileCertificate = DRMAssetResourceLoader::create(StreamDRMSettings("file:///etc/hostname", tokens.provider()));
    request = keyRequest(kKey);
    EXPECT_FALSE(fileCertificate->resourceLoaderShouldWaitForLoadingOfRequestedResource(platformLoader, request));
    EXPECT_EQ(drmCode(request), DRMError::keyExchangeFailed);

    // No token: at once, later, or no token source at all.
    tokens.immediate = std::optional<std::string>();
    request = keyRequest(kKey);
    EXPECT_FALSE(ask(request));
    EXPECT_EQ(drmCode(request), DRMError::missingToken);
    tokens.immediate.reset();
    request = keyRequest(kKey);
    EXPECT_TRUE(ask(request));
    EXPECT_FALSE(request->isFinished());
    tokens.waiting.front()(std::nullopt);
    EXPECT_EQ(drmCode(request), DRMError::missingToken);
    auto noSource =
        DRMAssetResourceLoader::create(StreamDRMSettings(server->baseURL() + "/fairplay/certificate", nullptr));
    request = keyRequest(kKey);
    EXPECT_FALSE(noSource->resourceLoaderShouldWaitForLoadingOfRequestedResource(platformLoader, request));
    EXPECT_EQ(drmCode(request), DRMError::missingToken);

    EXPECT_TRUE(licenceRequests().empty());
    EXPECT_EQ(loader->statePublisher().value().value(), std::nullopt);
    EXPECT_FALSE(loader->isRequestingResource());
}

// The host-facing cases stay (a refusal is a refusal, an answer that cannot be used is an invalid answer);
// what happened is in the error's text and its cause, and nothing of the answer is repeated. A time-out, an
// empty 200, an HTML 403 and a redirect all read "licence refused" before, and so did a key address
// without a key id, for which no request is made.
TEST_F(DRMLoaderTest, EachFailureSaysWhatHappenedWithoutRepeatingTheAnswer) {
    auto failed = [&](const std::string& key) {
        auto request = keyRequest(key);
        ask(request);
        EXPECT_TRUE(runUntil([&] { return request->isFinished(); })) << key;
        return drmFailure(request);
    };
    struct Case {
        std::optional<devserver::Fault> fault;
        std::string key;
        DRMError::Case expected;
        std::string description;
    };
    const std::string secret = "viewer-token-d41d8cd9";
    const std::vector<Case> cases = {
        {devserver::Fault{.status = 200, .body = ""}, kKey, DRMError::invalidLicenseResponse,
         "The licence server answered HTTP 200 with an empty body instead of a key. (Lumora.DRMError error 5.)"},
        {devserver::Fault{.status = 403, .body = "<html>Forbidden for " + secret + "</html>"}, kKey,
         DRMError::invalidLicenseResponse,
         "The licence server's answer (HTTP 403) is not a licence refusal it can read: its body is not a JSON "
         "object. (Lumora.DRMError error 5.)"},
        {devserver::Fault{.status = 403, .body = R"({"code":130401,"message":")" + secret + R"("})"}, kKey,
         DRMError::licenseRefused,
         "The licence server refused the content key (HTTP 403, code 130401). (Lumora.DRMError error 6.)"},
        {devserver::Fault{.status = 403, .body = R"({"code":130499})"}, kKey, DRMError::keyExchangeFailed,
         "The licence server refused the key exchange (HTTP 403 with another code). (Lumora.DRMError error 3.)"},
        {devserver::Fault{.status = 503, .body = secret}, kKey, DRMError::invalidLicenseResponse,
         "The licence server answered HTTP 503 without a key. (Lumora.DRMError error 5.)"},
        {std::nullopt, "skd://127.0.0.1/moved/license?contentId=vod-protected&keyId=key-1",
         DRMError::invalidLicenseResponse,
         "The licence server redirected the request (HTTP 302); a licence is asked only where the key address "
         "says. (Lumora.DRMError error 5.)"},
        {std::nullopt, "skd://127.0.0.1/fairplay/license?contentId=vod-protected", DRMError::invalidKeyRequest,
         "The key address has no keyId; no licence was requested. (Lumora.DRMError error 0.)"},
    };
    for (const auto& c : cases) {
        if (c.fault) server->injectFault("/fairplay/license", *c.fault);
        const auto error = failed(c.key);
        ASSERT_TRUE(error) << c.description;
        EXPECT_EQ(*error, c.expected) << c.description;
        EXPECT_EQ(error->localizedDescription(), c.description);
        server->clearFaults();
    }
    // The redirect was not followed, and the key address without a key id asked nothing.
    EXPECT_EQ(licenceRequests().size(), 5u);

    // No answer within the time-out (on the one clock, once the server holds the request). The client may
    // report the body sent only after the server holds it, which starts the idle period again: the clock
    // then moves past the time-out once more (the report comes once).
    server->injectFault("/fairplay/license", {.delay = std::chrono::milliseconds(10000)});
    auto slow = keyRequest(kKey);
    ASSERT_TRUE(ask(slow));
    ASSERT_TRUE(runUntil([&] { return licenceRequests().size() == 6; }));
    for (int attempt = 0; attempt < 3 && !slow->isFinished(); ++attempt) {
        clock.advance(DRMAssetResourceLoader::licenseRequestTimeout + 1);
        runUntil([&] { return slow->isFinished(); }, std::chrono::seconds(1));
    }
    ASSERT_TRUE(slow->isFinished());
    const auto timedOut = drmFailure(slow);
    ASSERT_TRUE(timedOut);
    EXPECT_EQ(*timedOut, DRMError::invalidLicenseResponse);
    EXPECT_EQ(timedOut->localizedDescription(), "The licence request timed out. (Lumora.DRMError error 5.)");
    ASSERT_TRUE(timedOut->underlying());
    EXPECT_TRUE(foundation::URLError::is(*timedOut->underlying(), foundation::URLError::timedOut));

    // A certificate that cannot be had: no licence is asked, and the download's error is the cause.
    auto noCertificate =
        DRMAssetResourceLoader::create(StreamDRMSettings(server->baseURL() + "/missing", tokens.provider()));
    auto request = keyRequest(kKey);
    EXPECT_FALSE(noCertificate->resourceLoaderShouldWaitForLoadingOfRequestedResource(platformLoader, request));
    const auto certificate = drmFailure(request);
    ASSERT_TRUE(certificate);
    EXPECT_EQ(*certificate, DRMError::keyExchangeFailed);
    EXPECT_NE(certificate->reason().find("the FairPlay certificate could not be downloaded"), std::string::npos)
        << certificate->reason();
    ASSERT_TRUE(certificate->underlying());
    EXPECT_EQ(certificate->underlying()->domain(), foundation::URLError::domain);
}

TEST_F(DRMLoaderTest, LicenceFailuresArePublishedAndClearTheRenewalDate) {
    std::mutex mutex;  // published from the licence answers' queues
    std::vector<std::optional<DRMError>> published;
    auto seen = [&] {
        std::lock_guard lock(mutex);
        return published;
    };
    rx::DisposeBag bag;
    loader->statePublisher()
        .subscribe([&](std::optional<DRMError> e) {
            std::lock_guard lock(mutex);
            published.push_back(e);
        })
        .disposed(bag);

    auto first = keyRequest(kKey);
    ASSERT_TRUE(ask(first));
    ASSERT_TRUE(runUntil([&] { return first->isFinished(); }));
    ASSERT_TRUE(loader->nextExpectedRenewalDate());

    licence->setEntitled("viewer-token", false);
    auto refused = keyRequest(kKey);
    ASSERT_TRUE(ask(refused));
    ASSERT_TRUE(runUntil([&] { return refused->isFinished(); }));
    EXPECT_EQ(drmCode(refused), DRMError::licenseRefused);
    EXPECT_FALSE(loader->nextExpectedRenewalDate());
    licence->setEntitled("viewer-token", true);

    licence->scriptRefusal(999);
    auto other = keyRequest(kKey);
    ASSERT_TRUE(ask(other));
    ASSERT_TRUE(runUntil([&] { return other->isFinished(); }));
    EXPECT_EQ(drmCode(other), DRMError::keyExchangeFailed);

    // A server error page is not a key.
    server->injectFault("/fairplay/license", {.status = 500, .body = "<html>Internal Server Error</html>"});
    auto broken = keyRequest(kKey);
    ASSERT_TRUE(ask(broken));
    ASSERT_TRUE(runUntil([&] { return broken->isFinished(); }));
    EXPECT_EQ(drmCode(broken), DRMError::invalidLicenseResponse);
    EXPECT_TRUE(broken->dataRequest()->respondedData().empty());

    // A later success does not clear the last failure.
    auto again = keyRequest(kKey);
    ASSERT_TRUE(ask(again));
    ASSERT_TRUE(runUntil([&] { return again->isFinished(); }));
    EXPECT_FALSE(again->error());
    ASSERT_TRUE(runUntil([&] { return seen().size() == 4; }));
    EXPECT_EQ(seen(),
              (std::vector<std::optional<DRMError>>{std::nullopt, DRMError::licenseRefused, DRMError::keyExchangeFailed,
                                                    DRMError::invalidLicenseResponse}));
    EXPECT_EQ(loader->statePublisher().value().value(), DRMError::invalidLicenseResponse);
}

TEST_F(DRMLoaderTest, TheTaskIsTheLatestRequestAndAReleasedLoaderCancelsItsOpenRequest) {
    tokens.immediate.reset();
    auto first = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=one");
    auto second = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=two");
    ASSERT_TRUE(ask(first));
    ASSERT_TRUE(ask(second));
    ASSERT_EQ(tokens.waiting.size(), 2u);
    tokens.waiting[0]("t");
    tokens.waiting[1]("t");
    tokens.waiting[1]("again");  // a token source that answers twice is heard once
    ASSERT_TRUE(runUntil([&] { return first->isFinished() && second->isFinished(); }));
    EXPECT_EQ(licenceRequests().size(), 2u);
    EXPECT_NE(loader->task()->originalRequest().url.absoluteString().find("keyId=two"), std::string::npos);

    auto open = keyRequest(kKey);
    ASSERT_TRUE(ask(open));
    loader.reset();
    tokens.waiting[2]("t");
    ASSERT_TRUE(open->isFinished());
    ASSERT_TRUE(open->error());
    EXPECT_TRUE(foundation::URLError::is(*open->error(), foundation::URLError::cancelled));
    EXPECT_EQ(licenceRequests().size(), 2u);
}

// The keys of a stream are asked side by side: the loader is requesting until every licence request it
// sent is answered, not only the first. A waiter that moved on at the first answer would move the clock
// before the other answers stamp their renewal dates, and see those keys renewed late.
TEST_F(DRMLoaderTest, ItIsRequestingUntilEveryLicenceRequestItSentIsAnswered) {
    tokens.immediate.reset();
    auto held = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=one");
    auto answered = keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=two");
    ASSERT_TRUE(ask(held));
    ASSERT_TRUE(ask(answered));
    ASSERT_EQ(tokens.waiting.size(), 2u);
    // The server holds the first licence request (far longer than the test waits) and answers the second.
    server->injectFault("/fairplay/license", {.delay = std::chrono::seconds(60)});
    tokens.waiting[0]("t");
    ASSERT_TRUE(runUntil([&] { return licenceRequests().size() == 1; }));
    tokens.waiting[1]("t");
    ASSERT_TRUE(runUntil([&] { return answered->isFinished(); }));
    EXPECT_FALSE(answered->error());
    EXPECT_FALSE(held->isFinished());
    EXPECT_TRUE(loader->isRequestingResource()) << "a licence request is still unanswered";

    // Given up by the player, the held request is aborted and no longer counts.
    ASSERT_TRUE(held->cancel());
    loader->resourceLoaderDidCancel(platformLoader, held);
    ASSERT_TRUE(runUntil([&] { return !loader->isRequestingResource(); }));
    EXPECT_FALSE(held->isFinished());
}

TEST_F(DRMLoaderTest, StateReadOnTheMainThreadWhileRequestsRunOnTheirQueues) {
    auto queue = std::make_shared<dispatch::DispatchQueue>("queue");
    constexpr int kRequests = 12;
    std::vector<std::shared_ptr<AVAssetResourceLoadingRequest>> requests;
    for (int i = 0; i < kRequests; ++i) {
        requests.push_back(
            keyRequest("skd://127.0.0.1/fairplay/license?contentId=vod-protected&keyId=k" + std::to_string(i)));
    }
    for (const auto& request : requests) {
        queue->async([this, request] { ask(request); });
    }
    int reads = 0;
    ASSERT_TRUE(runUntil([&] {
        ++reads;
        (void)loader->isRequestingResource();
        (void)loader->nextExpectedRenewalDate();
        (void)loader->task();
        return std::all_of(requests.begin(), requests.end(), [](const auto& r) { return r->isFinished(); });
    }));
    EXPECT_GT(reads, 0);
    for (const auto& request : requests) EXPECT_FALSE(request->error());
    EXPECT_EQ(licenceRequests().size(), static_cast<std::size_t>(kRequests));
    EXPECT_FALSE(loader->isRequestingResource());
    queue->sync([] {});
}
