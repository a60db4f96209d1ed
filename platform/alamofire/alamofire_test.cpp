#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>

#include "alamofire/Alamofire.h"
#include "devserver/Server.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "foundation/URLError.h"

namespace {

using namespace alamofire;
using foundation::JSONValue;

struct Answer {
    std::string name;
    int count = 0;
    static Answer decode(const foundation::KeyedDecodingContainer& c) {
        return Answer{c.decode<std::string>("name"), c.decode<int>("count")};
    }
};

struct Event {
    std::string kind;
    double position = 0;
    void encode(foundation::KeyedEncodingContainer& c) const {
        c.encode("kind", kind);
        c.encode("position", position);
    }
};

foundation::URLRequest baseRequest(const char* method) {
    foundation::URLRequest r(*foundation::URL::fromString("https://h.example/p?x=1"));
    r.httpMethod = method;
    return r;
}

TEST(ParameterEncodingTest, URLEncodingFollowsTheMethod) {
    const JSONValue parameters{{"q", "a b"}, {"tags", {"x", "y"}}, {"f", {{"k", false}}}};
    auto get = URLEncoding::default_().encode(baseRequest("GET"), parameters);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->url.absoluteString(), "https://h.example/p?x=1&q=a%20b&tags%5B%5D=x&tags%5B%5D=y&f%5Bk%5D=false");
    EXPECT_FALSE(get->httpBody);

    auto post = URLEncoding::default_().encode(baseRequest("POST"), JSONValue{{"user", "a@b"}, {"n", 2}});
    ASSERT_TRUE(post);
    EXPECT_EQ(post->url.absoluteString(), "https://h.example/p?x=1");
    EXPECT_EQ(foundation::stringFromData(*post->httpBody), "user=a%40b&n=2");
    EXPECT_EQ(post->value("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");

    auto forced = URLEncoding::queryString().encode(baseRequest("POST"), JSONValue{{"a", 1}});
    EXPECT_EQ(forced->url.absoluteString(), "https://h.example/p?x=1&a=1");

    auto bad = URLEncoding::default_().encode(baseRequest("GET"), JSONValue{{"v", NAN}});
    ASSERT_FALSE(bad);
    EXPECT_TRUE(bad.error().isParameterEncodingError());
}

TEST(ParameterEncodingTest, JSONBodiesNeverHideNonFiniteNumbers) {
    auto json = JSONEncoding::default_().encode(baseRequest("POST"), JSONValue{{"a", 1}, {"b", {true, nullptr}}});
    ASSERT_TRUE(json);
    EXPECT_EQ(foundation::stringFromData(*json->httpBody), R"({"a":1,"b":[true,null]})");
    EXPECT_EQ(json->value("Content-Type"), "application/json");
    EXPECT_FALSE(JSONEncoding::default_().encode(baseRequest("POST"), std::nullopt)->httpBody);
    EXPECT_TRUE(JSONEncoding::default_()
                    .encode(baseRequest("POST"), JSONValue{{"x", INFINITY}})
                    .error()
                    .isParameterEncodingError());

    auto model = JSONParameterEncoder::default_().encode(Event{"period", 12.5}, baseRequest("POST"));
    ASSERT_TRUE(model);
    EXPECT_EQ(foundation::stringFromData(*model->httpBody), R"({"kind":"period","position":12.5})");
    auto nonFinite = JSONParameterEncoder::default_().encode(Event{"period", NAN}, baseRequest("POST"));
    ASSERT_FALSE(nonFinite);
    EXPECT_NE(nonFinite.error().localizedDescription().find("position"), std::string::npos);
}

// ---- against the local back end ----

class Routes : public devserver::Service {
  public:
    std::string name() const override { return "af"; }
    void registerRoutes(devserver::Router& router) override {
        router.add("*", "/ok", [](const devserver::RecordedRequest&) {
            return devserver::Reply::json(200, R"({"name":"n","count":1})");
        });
        router.add("*", "/missing", [](const devserver::RecordedRequest&) {
            return devserver::Reply::json(404, R"({"name":"gone","count":0})");
        });
        router.add("*", "/garbled",
                   [](const devserver::RecordedRequest&) { return devserver::Reply::json(200, R"({"name":1})"); });
        router.add("*", "/empty", [](const devserver::RecordedRequest&) { return devserver::Reply{.status = 204}; });
    }
};

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started = devserver::Server::start({.services = {std::make_shared<Routes>()}, .echo = false});
        ASSERT_TRUE(started) << started.error();
        server = *started;
        session = Session::create();
    }
    void TearDown() override {
        session->session()->invalidateAndCancel();
        if (server) server->stop();
    }
    std::string url(const char* path) const { return server->baseURL() + path; }

    template <class T>
    DataResponse<T> await(const std::shared_ptr<DataRequest>& request) {
        std::optional<DataResponse<T>> out;
        request->responseDecodable<T>([&](DataResponse<T> r) { out = std::move(r); });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return out.has_value(); }));
        if (!out)
            return DataResponse<T>{std::nullopt, std::nullopt, std::nullopt,
                                   std::unexpected(AFError::explicitlyCancelled())};
        return std::move(*out);
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<devserver::Server> server;
    std::shared_ptr<Session> session;
};

TEST_F(SessionTest, SendsAndDecodes) {
    auto r = await<Answer>(session->request(url("/ok"), HTTPMethod::post, JSONValue{{"id", 7}},
                                            JSONEncoding::default_(), {{"Authorization", "Bearer abc"}}));
    ASSERT_TRUE(r.value()) << r.error()->localizedDescription();
    EXPECT_EQ(r.value()->name, "n");
    EXPECT_EQ(r.response->statusCode, 200);
    auto seen = server->requestLog().last();
    EXPECT_EQ(seen->method, "POST");
    EXPECT_EQ(seen->header("Authorization"), "Bearer abc");
    EXPECT_EQ(seen->header("Content-Type"), "application/json");
    EXPECT_EQ(seen->body, R"({"id":7})");

    auto model = await<Answer>(
        session->request(url("/ok"), HTTPMethod::post, Event{"end", 1}, JSONParameterEncoder::default_()));
    ASSERT_TRUE(model.value());
    EXPECT_EQ(server->requestLog().last()->body, R"({"kind":"end","position":1.0})");
}

TEST_F(SessionTest, ValidationAndSerializationFailures) {
    // Without validation a 404 with a decodable body is a value; with it, a validation failure.
    auto plain = await<Answer>(session->request(url("/missing")));
    ASSERT_TRUE(plain.value());
    EXPECT_EQ(plain.response->statusCode, 404);
    auto validated = await<Answer>(session->request(url("/missing"))->validate());
    ASSERT_TRUE(validated.error());
    EXPECT_TRUE(validated.error()->isResponseValidationError());
    EXPECT_EQ(validated.error()->responseCode(), 404);
    EXPECT_TRUE(await<Answer>(session->request(url("/missing"))->validate(200, 500)).value());

    auto garbled = await<Answer>(session->request(url("/garbled")));
    ASSERT_TRUE(garbled.error());
    EXPECT_TRUE(garbled.error()->isResponseSerializationError());
    ASSERT_TRUE(garbled.error()->underlyingError());
    EXPECT_TRUE(garbled.error()->underlyingError()->is<foundation::DecodingError>());

    EXPECT_TRUE(await<Empty>(session->request(url("/empty"))).value());
    EXPECT_TRUE(await<Answer>(session->request(url("/empty"))).error()->isResponseSerializationError());
}

TEST_F(SessionTest, TransportFailuresCancellationAndBadURLs) {
    auto invalid = await<Answer>(session->request("not a url"));
    EXPECT_TRUE(invalid.error()->isInvalidURLError());
    EXPECT_TRUE(await<Answer>(session->request("ftp://127.0.0.1/x")).error()->isInvalidURLError());
    EXPECT_EQ(server->requestLog().count(), 0u);

    server->injectFault("/ok", {.delay = std::chrono::milliseconds(5000)});
    auto held = session->request(url("/ok"));
    std::optional<DataResponse<foundation::Data>> cancelled;
    held->responseData([&](DataResponse<foundation::Data> r) { cancelled = std::move(r); });
    held->cancel();
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return cancelled.has_value(); }));
    EXPECT_TRUE(cancelled->error()->isExplicitlyCancelledError());
    EXPECT_TRUE(held->isCancelled());

    const std::string closed = url("/ok");
    server->stop();
    auto refused = await<Answer>(session->request(closed));
    ASSERT_TRUE(refused.error());
    ASSERT_TRUE(refused.error()->isSessionTaskError());
    EXPECT_EQ(refused.error()->underlyingError()->code(), foundation::URLError::cannotConnectToHost);
}

TEST_F(SessionTest, ARequestModifierSetsTheCapOfTheAnswerItsAdaptersKeep) {
    // The answer of /ok is 22 bytes: over a cap of 8 it fails as it arrives, naming the cap, after the
    // session's adapter has seen (and kept) the modified request.
    struct Tagging final : RequestInterceptor {
        void adapt(foundation::URLRequest request, Session&,
                   std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> done) override {
            request.setValue("1", "X-Adapted");
            done(std::move(request));
        }
    };
    auto adapted = Session::create(foundation::URLSessionConfiguration::default_(), std::make_shared<Tagging>());
    auto capTo = [](std::size_t bytes) {
        return [bytes](foundation::URLRequest& request) { request.maximumResponseSize = bytes; };
    };
    auto over = await<Answer>(
        adapted->request(url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), {}, nullptr, capTo(8)));
    ASSERT_TRUE(over.error());
    ASSERT_TRUE(over.error()->isSessionTaskError());
    EXPECT_EQ(over.error()->underlyingError()->code(), foundation::URLError::dataLengthExceedsMaximum);
    EXPECT_EQ(over.error()->localizedDescription(),
              "The request failed. Reason: resource exceeds maximum size (larger than 8 bytes)");
    ASSERT_TRUE(over.request);
    EXPECT_EQ(over.request->maximumResponseSize, 8u);
    EXPECT_EQ(over.request->value("X-Adapted"), "1");
    // The answer over the cap keeps its status for whoever reads it, validated or not; its body is refused.
    ASSERT_TRUE(over.response);
    EXPECT_EQ(over.response->statusCode, 200);
    EXPECT_FALSE(over.data);
    auto missing = adapted->request(url("/missing"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), {},
                                    nullptr, capTo(8));
    auto refused = await<Answer>(missing->validate());
    ASSERT_TRUE(refused.error() && refused.error()->isSessionTaskError());
    ASSERT_TRUE(refused.response);
    EXPECT_EQ(refused.response->statusCode, 404);
    EXPECT_EQ(missing->response()->statusCode, 404);

    auto within = await<Answer>(adapted->request(url("/ok"), HTTPMethod::post, Event{"end", 1},
                                                 JSONParameterEncoder::default_(), {}, nullptr, capTo(22)));
    ASSERT_TRUE(within.value()) << within.error()->localizedDescription();
    EXPECT_EQ(within.request->maximumResponseSize, 22u);
    EXPECT_EQ(server->requestLog().last()->body, R"({"kind":"end","position":1.0})");
}

// Records what each finished request was answered, as it is told.
class RecordingMonitor final : public EventMonitor {
  public:
    struct Finished {
        std::string path;
        std::optional<int> status;
        bool failed = false;
        bool beforeHandlers = false;
    };
    void requestDidFinish(const std::optional<foundation::URLRequest>& request,
                          const std::optional<foundation::HTTPURLResponse>& response,
                          const std::optional<AFError>& error) override {
        std::lock_guard lock(mutex);
        finished.push_back({request ? request->url.path() : "",
                            response ? std::optional(response->statusCode) : std::nullopt, error.has_value(),
                            handled == 0});
    }
    std::mutex mutex;  // guards finished
    std::vector<Finished> finished;
    std::atomic<int> handled{0};
};

TEST_F(SessionTest, EventMonitorsAreToldHowEveryRequestEndedBeforeItsHandlersRun) {
    auto monitor = std::make_shared<RecordingMonitor>();
    auto monitored = Session::create(foundation::URLSessionConfiguration::default_(), nullptr, {monitor});
    auto answered = [&](const std::shared_ptr<DataRequest>& request) {
        std::optional<DataResponse<foundation::Data>> out;
        request->responseData([&](DataResponse<foundation::Data> r) {
            ++monitor->handled;
            out = std::move(r);
        });
        EXPECT_TRUE(dispatch::RunLoop::main().runUntil([&] { return out.has_value(); }));
        monitor->handled = 0;
    };
    answered(monitored->request(url("/ok")));
    answered(monitored->request(url("/missing")));
    server->injectFault("/ok", {.status = 500, .times = 1});
    answered(monitored->request(url("/ok")));
    server->injectFault("/ok", {.dropConnection = true, .times = 2});
    answered(monitored->request(url("/ok")));
    answered(monitored->request("not a url"));
    monitored->session()->invalidateAndCancel();

    std::lock_guard lock(monitor->mutex);
    ASSERT_EQ(monitor->finished.size(), 5u);
    EXPECT_EQ(monitor->finished[0].status, 200);
    EXPECT_EQ(monitor->finished[1].status, 404);
    EXPECT_EQ(monitor->finished[2].status, 500);
    EXPECT_FALSE(monitor->finished[2].failed);  // an answer, not a failure: nothing validates it
    EXPECT_EQ(monitor->finished[3].status, std::nullopt);
    EXPECT_TRUE(monitor->finished[3].failed);
    EXPECT_TRUE(monitor->finished[4].failed);
    for (const auto& f : monitor->finished) EXPECT_TRUE(f.beforeHandlers);
}

class HeaderAdapter : public RequestInterceptor {
  public:
    std::atomic<int> retries{0};
    double delay = 0;
    void adapt(foundation::URLRequest request, Session&,
               std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) override {
        request.setValue("yes", "X-Adapted");
        completion(std::move(request));
    }
    void retry(DataRequest& request, Session&, const foundation::Error& error,
               std::function<void(RetryResult)> completion) override {
        const auto* af = error.as<AFError>();
        if (af && af->responseCode() == 503 && request.retryCount() < 2) {
            completion(delay > 0 ? RetryResult::retryWithDelay(delay) : RetryResult::retry());
            // Counted once the retry is scheduled; the empty block wakes a test waiting on the main loop.
            ++retries;
            dispatch::DispatchQueue::main().async([] {});
        } else {
            completion(RetryResult::doNotRetry());
        }
    }
};

TEST_F(SessionTest, AdaptersAndRetriers) {
    auto interceptor = std::make_shared<HeaderAdapter>();
    server->injectFault("/ok", {.status = 503, .times = 1});
    auto request = session->request(url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), {}, interceptor)
                       ->validate();
    auto r = await<Answer>(request);
    ASSERT_TRUE(r.value()) << r.error()->localizedDescription();
    EXPECT_EQ(request->retryCount(), 1);
    EXPECT_EQ(interceptor->retries.load(), 1);
    const auto log = server->requestLog().entries("/ok");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].header("X-Adapted"), "yes");
    EXPECT_EQ(log[1].header("X-Adapted"), "yes");

    // A delayed retry waits for the one clock.
    interceptor->delay = 30;
    server->requestLog().clear();
    server->injectFault("/ok", {.status = 503, .times = 1});
    std::optional<DataResponse<Answer>> delayed;
    session->request(url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), {}, interceptor)
        ->validate()
        ->responseDecodable<Answer>([&](DataResponse<Answer> a) { delayed = std::move(a); });
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return interceptor->retries.load() == 2; }));
    dispatch::RunLoop::main().runUntilIdle();
    EXPECT_EQ(server->requestLog().count(), 1u);
    clock.advance(30.0);
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return delayed.has_value(); }));
    EXPECT_TRUE(delayed->value());
    EXPECT_EQ(server->requestLog().count(), 2u);

    // A failing adapter stops the request before anything is sent.
    class Failing : public RequestInterceptor {
        void adapt(foundation::URLRequest, Session&,
                   std::function<void(std::expected<foundation::URLRequest, foundation::Error>)> completion) override {
            completion(std::unexpected(foundation::Error(AFError::invalidURL("refused by adapter"))));
        }
    };
    server->requestLog().clear();
    auto failed = await<Answer>(session->request(url("/ok"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), {},
                                                 std::make_shared<Failing>()));
    EXPECT_TRUE(failed.error()->isRequestAdaptationError());
    EXPECT_EQ(server->requestLog().count(), 0u);
}

TEST_F(SessionTest, EveryHandlerGetsTheSameOutcome) {
    auto request = session->request(url("/ok"));
    int calls = 0;
    request->responseData([&](DataResponse<foundation::Data> r) { calls += r.value() ? 1 : 0; });
    request->responseDecodable<Answer>([&](DataResponse<Answer> r) { calls += r.value() ? 1 : 0; });
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return calls == 2; }));
    // A handler added after the end still gets the outcome, and nothing is sent again.
    request->responseData([&](DataResponse<foundation::Data> r) { calls += r.value() ? 1 : 0; });
    ASSERT_TRUE(dispatch::RunLoop::main().runUntil([&] { return calls == 3; }));
    EXPECT_EQ(server->requestLog().count(), 1u);
}

}  // namespace
