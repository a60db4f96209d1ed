#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include <atomic>
#include <string>

#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/testing/MediaWaits.h"
#include "devserver/LicenceService.h"
#include "devserver/Server.h"
#include "devserver/testing/HlsTestService.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "foundation/URLError.h"
#include "kitfoundation/Log.h"
#include "playback/DRMError.h"
#include "playback/DRMRequestBuilder.h"
#include "playback/DRMService.h"
#include "playback/LicenceRedirect.h"

using namespace lumora;
using foundation::Data;
using foundation::HTTPURLResponse;

namespace {

const foundation::URL kLicence = *foundation::URL::fromString("https://keys.example.com/fairplay/license");

HTTPURLResponse response(int status, foundation::HTTPHeaderFields headers = {}) {
    return HTTPURLResponse(kLicence, status, std::move(headers));
}

// The DRMError of a failed mapping, or -1 for a licence.
int mapped(int status, const std::string& body, foundation::HTTPHeaderFields headers = {}) {
    auto result = DRMService::licenseResult(foundation::dataFromString(body), response(status, std::move(headers)));
    if (result) return -1;
    const auto* error = result.error().as<DRMError>();
    return error ? error->rawValue() : -2;
}

double renewal(foundation::HTTPHeaderFields headers) {
    auto result = DRMService::licenseResult(foundation::dataFromString("CKC1:abc"), response(200, std::move(headers)));
    return result ? result->renewalInterval : -1;
}

}  // namespace

TEST(DRMError, HasSevenRawValuesInTheLumoraDomain) {
    for (int raw = 0; raw <= 6; ++raw) {
        auto error = DRMError::fromRawValue(raw);
        ASSERT_TRUE(error);
        const foundation::Error bridged = *error;
        EXPECT_EQ(bridged.domain(), "Lumora.DRMError");
        EXPECT_EQ(bridged.code(), raw);
    }
    EXPECT_FALSE(DRMError::fromRawValue(7));
    EXPECT_FALSE(DRMError::fromRawValue(-1));
    EXPECT_EQ(DRMError(DRMError::licenseRefused).localizedDescription(),
              "The operation couldn\u2019t be completed. (Lumora.DRMError error 6.)");
    EXPECT_EQ(std::hash<DRMError>{}(DRMError::missingToken), std::hash<int>{}(2));
}

TEST(DRMServiceAnswers, ARefusalIsA403WithAJSONCode) {
    EXPECT_EQ(mapped(403, R"({"code":130401,"message":"not entitled"})"), DRMError::licenseRefused);
    EXPECT_EQ(mapped(403, R"({"code":"130401"})"), DRMError::keyExchangeFailed);  // the digits as text
    EXPECT_EQ(mapped(403, R"({"code":130402})"), DRMError::keyExchangeFailed);
    EXPECT_EQ(mapped(403, R"({"code":130401.5})"), DRMError::keyExchangeFailed);
    EXPECT_EQ(mapped(403, R"({"message":"no code"})"), DRMError::keyExchangeFailed);
    EXPECT_EQ(mapped(403, ""), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(403, "[130401]"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(403, "<html>Forbidden</html>"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(403, "{\"code\":130401,\"m\":\"\xff\xfe\"}"), DRMError::invalidLicenseResponse);  // not UTF-8
}

TEST(DRMServiceAnswers, OnlyANonEmpty2xxBodyIsAKey) {
    auto licence = DRMService::licenseResult(foundation::dataFromString("CKC1:key"), response(200));
    ASSERT_TRUE(licence);
    EXPECT_EQ(foundation::stringFromData(licence->ckc), "CKC1:key");
    EXPECT_EQ(mapped(201, "CKC1:key"), -1);
    EXPECT_EQ(mapped(500, "<html>Internal Server Error</html>"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(404, "not found"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(401, R"({"code":130100})"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(302, "moved"), DRMError::invalidLicenseResponse);
    EXPECT_EQ(mapped(200, ""), DRMError::invalidLicenseResponse);
    // No response (a transport failure, a time-out), or no body.
    EXPECT_FALSE(DRMService::licenseResult(std::nullopt, std::nullopt));
    EXPECT_EQ(DRMService::licenseResult(foundation::dataFromString("x"), std::nullopt).error().code(), 5);
    EXPECT_EQ(DRMService::licenseResult(std::nullopt, response(200)).error().code(), 5);
}

TEST(DRMServiceAnswers, TheRenewalIntervalComesFromItsHeaderWhenItIsAPositiveNumber) {
    EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", "3600"}}), 3600);
    EXPECT_EQ(renewal({{"X-Irdeto-Renewal-Duration", "90.5"}}), 90.5);  // any spelling of the name
    EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", " 45 "}}), 45);
    EXPECT_EQ(renewal({}), 120);
    for (const char* bad : {"abc", "", "0", "-30", "nan", "inf", "1e999", "12s"}) {
        EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", bad}}), 120) << bad;
    }
    // Beyond a year is no licence's life: a value like this overflowed the clock when the renewal was due.
    EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", "31536000"}}), 31536000);
    const dispatch::testing::ValueScope keepSwitch(debugLogEnabled);
    debugLogEnabled = true;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", "1e10"}}), 120);
    const std::string logged = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(logged.find("Licence renewal duration refused: \"1e10\" - the key is renewed after 120.0 s"),
              std::string::npos)
        << logged;
}

// A positive interval far below a second was due at once: the key session asked again on every answer.
TEST(DRMServiceAnswers, ARenewalIntervalBelowTheFloorIsRaisedToItAndTheRaiseIsLogged) {
    const dispatch::testing::ValueScope keepSwitch(debugLogEnabled);
    debugLogEnabled = true;
    for (const char* tiny : {"1e-300", "4.9e-324", "0.5", "9.999"}) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", tiny}}), DRMService::minimumRenewalInterval) << tiny;
        const std::string logged = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(logged.find("Licence renewal duration below the floor: \"" + std::string(tiny) +
                              "\" - the key is renewed after 10.0 s"),
                  std::string::npos)
            << logged;
    }
    EXPECT_EQ(renewal({{"x-irdeto-renewal-duration", "10"}}), 10);
}

class DRMNetworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {licence}});
        ASSERT_TRUE(started) << started.error();
        server = *started;
    }
    void TearDown() override { server->stop(); }
    std::string address(const std::string& path) const { return server->baseURL() + path; }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::LicenceService> licence = devserver::LicenceService::create();
    std::shared_ptr<devserver::Server> server;
};

TEST_F(DRMNetworkTest, TheCertificateIsFetchedOnlyOverHTTPAndTheSPCFollowsFromIt) {
    const DRMRequestBuilder builder;
    auto certificate = builder.certificateData(*foundation::URL::fromString(address("/fairplay/certificate")));
    ASSERT_TRUE(certificate);
    EXPECT_EQ(foundation::stringFromData(*certificate), licence->certificate());
    auto file = builder.certificateData(foundation::URL::fileURL("/etc/hostname"));
    ASSERT_FALSE(file);
    EXPECT_TRUE(foundation::URLError::is(file.error(), foundation::URLError::unsupportedURL));
    EXPECT_FALSE(builder.certificateData(*foundation::URL::fromString(address("/no/certificate"))));

    auto request = avfoundation::AVAssetResourceLoadingRequest::create(
        foundation::URLRequest(*foundation::URL::fromString("skd://127.0.0.1/fairplay/license?contentId=c&keyId=k")));
    auto spc = builder.keyRequestData(*request, "vod-protected", address("/fairplay/certificate"));
    ASSERT_TRUE(spc);
    EXPECT_EQ(foundation::stringFromData(*spc),
              devserver::licence::serverPlaybackContext(licence->certificate(), "vod-protected"));
    EXPECT_FALSE(builder.keyRequestData(*request, "vod-protected", "not a url"));
    EXPECT_FALSE(builder.keyRequestData(*request, "vod-protected", address("/missing")));
    EXPECT_FALSE(builder.keyRequestData(*request, "", address("/fairplay/certificate")));
}

TEST_F(DRMNetworkTest, ALicenceRedirectSendsRequestsForItsHostToTheLocalServerWhileItLives) {
    const auto session = foundation::URLSession::create(foundation::URLSessionConfiguration::default_());
    // The status of a request sent through the URL session stack; 0 when it got no answer, -1 when it was not
    // answered within the bound of a wait.
    auto statusOf = [&](const std::string& address) {
        auto answered = std::make_shared<std::promise<int>>();
        auto task = session->dataTask(foundation::URLRequest(*foundation::URL::fromString(address), 10.0),
                                      [answered](auto, std::optional<foundation::HTTPURLResponse> response, auto) {
                                          answered->set_value(response ? response->statusCode : 0);
                                      });
        task->resume();
        auto future = answered->get_future();
        if (future.wait_for(avfoundation::testing::kMediaWait) != std::future_status::ready) return -1;
        return future.get();
    };
    const std::string viaHost = "https://127.0.0.1/fairplay/certificate?x=1";
    {
        LicenceRedirect redirect("127.0.0.1", server->baseURL());
        EXPECT_EQ(statusOf(viaHost), 200);
        EXPECT_EQ(server->requestLog().last()->path, "/fairplay/certificate");
        EXPECT_EQ(server->requestLog().last()->query, "x=1");
    }
    const std::size_t seen = server->requestLog().count();
    EXPECT_EQ(statusOf(viaHost), 0);  // no https server on 127.0.0.1:443
    EXPECT_EQ(server->requestLog().count(), seen);
    session->invalidateAndCancel();
}

TEST_F(DRMNetworkTest, ALicenceRequestAnswersOnItsSessionQueueAndATimeOutIsAnInvalidResponse) {
    const DRMService service;
    foundation::URLRequest request(*foundation::URL::fromString(address("/fairplay/license?contentId=c&keyId=k")),
                                   60.0);
    request.httpMethod = "POST";
    request.httpBody =
        foundation::dataFromString(devserver::licence::serverPlaybackContext(licence->certificate(), "c"));
    request.addValue("Bearer viewer", "Authorization");
    std::atomic<bool> done{false};
    std::atomic<bool> onMain{true};
    std::optional<DRMService::LicenseResult> result;
    auto task = service.sendLicenseRequest(request, [&](DRMService::LicenseResult r) {
        onMain = dispatch::DispatchQueue::isMainThread();
        result = std::move(r);
        done = true;
    });
    ASSERT_TRUE(task);
    ASSERT_TRUE(avfoundation::testing::runUntil([&] { return done.load(); }));
    EXPECT_FALSE(onMain.load());
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(foundation::stringFromData((*result)->ckc),
              devserver::licence::contentKeyContext(foundation::stringFromData(*request.httpBody), "k"));
    EXPECT_EQ((*result)->renewalInterval, 120);

    // No answer within the time-out (measured on the one clock).
    server->injectFault("/fairplay/license", {.delay = std::chrono::milliseconds(10000)});
    done = false;
    service.sendLicenseRequest(request, [&](DRMService::LicenseResult r) {
        result = std::move(r);
        done = true;
    });
    // Once the server holds the request (body received), the time-out runs on the clock alone. The client may
    // report the body sent only after the server holds it, which starts the idle period again: the clock
    // then moves past the time-out once more (the report comes once).
    ASSERT_TRUE(
        avfoundation::testing::runUntil([&] { return server->requestLog().entries("/fairplay/license").size() == 2; }));
    for (int attempt = 0; attempt < 3 && !done.load(); ++attempt) {
        clock.advance(61);
        avfoundation::testing::runUntil([&] { return done.load(); }, std::chrono::seconds(1));
    }
    ASSERT_TRUE(done.load());
    ASSERT_FALSE(*result);
    EXPECT_EQ(result->error().code(), DRMError::invalidLicenseResponse);

    // Answers over the cap are cut off as they arrive: a key padded past 256 KiB is an invalid licence response,
    // a refusal so padded is still a refusal (its status stands); one at the cap is a key.
    server->clearFaults();
    for (int status : {200, 403}) {
        server->injectFault("/fairplay/license", {.status = status,
                                                  .body = R"({"code":130401,"pad":")" +
                                                          std::string(DRMService::maximumResponseSize, 'x') + R"("})"});
        done = false;
        auto cut = service.sendLicenseRequest(request, [&](DRMService::LicenseResult r) {
            result = std::move(r);
            done = true;
        });
        ASSERT_TRUE(avfoundation::testing::runUntil([&] { return done.load(); }));
        ASSERT_FALSE(*result) << status;
        EXPECT_EQ(result->error().code(), status == 403 ? DRMError::licenseRefused : DRMError::invalidLicenseResponse)
            << status;
        EXPECT_EQ(cut->currentRequest()->maximumResponseSize, DRMService::maximumResponseSize);
        EXPECT_LE(cut->countOfBytesReceived(), static_cast<std::int64_t>(DRMService::maximumResponseSize));
    }
    server->injectFault("/fairplay/license",
                        {.status = 200, .body = std::string(DRMService::maximumResponseSize, 'k')});
    done = false;
    service.sendLicenseRequest(request, [&](DRMService::LicenseResult r) {
        result = std::move(r);
        done = true;
    });
    ASSERT_TRUE(avfoundation::testing::runUntil([&] { return done.load(); }));
    ASSERT_TRUE(*result);
    EXPECT_EQ((*result)->ckc.size(), DRMService::maximumResponseSize);
}

// Answers every licence request with `status`, a refusal's body and header fields past the client's cap.
class OversizedHeaders final : public devserver::Service {
  public:
    explicit OversizedHeaders(int status) : status_(status) {}
    std::string name() const override { return "oversized-headers"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("POST", "/fairplay/license", [status = status_](const devserver::RecordedRequest&) {
            auto reply = devserver::Reply::json(status, R"({"code":130401,"message":"not entitled"})");
            for (int i = 0; i < 40; ++i)
                reply.headers.emplace_back("X-Filler-" + std::to_string(i), std::string(8192, 'h'));
            return reply;
        });
    }

  private:
    int status_;
};

TEST(DRMServiceAnswers, ARefusalWhoseHeadersAreOverTheCapIsStillARefusal) {
    dispatch::testing::ManualClockScope clock;
    for (const int status : {403, 200}) {
        auto started = devserver::Server::start({.services = {std::make_shared<OversizedHeaders>(status)}});
        ASSERT_TRUE(started) << started.error();
        foundation::URLRequest request(*foundation::URL::fromString((*started)->baseURL() + "/fairplay/license"));
        request.httpMethod = "POST";
        request.httpBody = foundation::dataFromString("spc");
        std::atomic<bool> done{false};
        std::optional<DRMService::LicenseResult> result;
        DRMService().sendLicenseRequest(request, [&](DRMService::LicenseResult r) {
            result = std::move(r);
            done = true;
        });
        ASSERT_TRUE(devserver::testing::runUntil([&] { return done.load(); }));
        (*started)->stop();
        ASSERT_TRUE(result && !*result) << status;
        EXPECT_EQ(result->error().code(), status == 403 ? DRMError::licenseRefused : DRMError::invalidLicenseResponse)
            << status;
    }
    // The mapping of an answer whose body was refused: a 403 is a refusal, any other status no licence.
    EXPECT_EQ(DRMService::licenseResult(std::nullopt, response(403)).error().code(), DRMError::licenseRefused);
    EXPECT_EQ(DRMService::licenseResult(std::nullopt, response(500)).error().code(), DRMError::invalidLicenseResponse);
}
