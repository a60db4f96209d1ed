#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "DemoHarness.h"
#include "EmbeddedBackend.h"
#include "ScaledClock.h"
#include "authentication/ZuAuthManager.h"
#include "demo_host/AssetExtras.h"
#include "demo_host/HostConfiguration.h"
#include "devserver/PlayService.h"
#include "devserver/ThumbnailArt.h"
#include "dispatch/Clock.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "imageio/ImageDecoder.h"
#include "keymoments/BIF.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"

namespace fs = std::filesystem;
using demoharness::ExitStatus;
using demoharness::TimelineEvent;
using Kind = demoharness::TimelineEvent::Kind;

namespace {

class RecordingTimeline final : public demoharness::TimelineSink {
  public:
    void record(const TimelineEvent& event) override { events.push_back(event); }
    void progress(double position, double duration) override { positions.push_back({position, duration}); }
    void screenshotWritten(const demoharness::Screenshot& shot) override { screenshots.push_back(shot); }

    std::size_t count(Kind kind) const {
        return static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.kind == kind; }));
    }
    // Index of the first event of `kind` (events.size() when none).
    std::size_t first(Kind kind) const {
        auto it = std::find_if(events.begin(), events.end(), [&](const auto& e) { return e.kind == kind; });
        return static_cast<std::size_t>(it - events.begin());
    }
    // Index of the first line that starts with `text` (events.size() when none).
    std::size_t line(const std::string& text) const {
        auto it = std::find_if(events.begin(), events.end(), [&](const auto& e) { return e.text.starts_with(text); });
        return static_cast<std::size_t>(it - events.begin());
    }
    bool has(const std::string& text) const { return line(text) < events.size(); }
    std::vector<TimelineEvent> sent() const {
        std::vector<TimelineEvent> out;
        for (const auto& e : events) {
            if (e.kind == Kind::eventSent) out.push_back(e);
        }
        return out;
    }
    std::vector<std::string> shotNames() const {
        std::vector<std::string> names;
        for (const auto& s : screenshots) names.push_back(s.name);
        return names;
    }
    std::string dump() const {
        std::string text;
        for (const auto& e : events)
            text += "  " + demoharness::ConsoleTimeline::stamp(e.clockSeconds) + "  " + e.text + "\n";
        return text;
    }

    std::vector<TimelineEvent> events;
    std::vector<std::pair<double, double>> positions;
    std::vector<demoharness::Screenshot> screenshots;
};

// The kit keeps its device id under $XDG_DATA_HOME: these tests, and the programs they start, keep theirs in
// a folder of their own, removed at the end, never in the user's home.
class DataHome final : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumora-demo-harness-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ::setenv("XDG_DATA_HOME", folder_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

  private:
    fs::path folder_;
};
[[maybe_unused]] const auto* const kDataHome = ::testing::AddGlobalTestEnvironment(new DataHome);

// What the process writes to its standard error while it lives (the toolkit's warnings go there).
class StderrCapture {
  public:
    StderrCapture() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        if (file_ && saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        restore();
        if (file_) std::fclose(file_);
    }
    // Everything written so far; standard error is its own again.
    std::string text() {
        restore();
        std::string captured;
        if (!file_) return captured;
        std::rewind(file_);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) captured.append(buffer, n);
        return captured;
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_;
};

// The lines of `text` that are the toolkit's warnings.
std::string toolkitWarnings(const std::string& text) {
    std::string warnings;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("[uikit]") != std::string::npos) warnings += line + "\n";
    }
    return warnings;
}

// The share of a picture's pixels that are near white: the panel of an alert, for one.
double lightShare(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto png = imageio::decodePNG(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!png || png->width() == 0 || png->height() == 0) return 0;
    std::size_t light = 0;
    const auto pixels = png->bytes();
    for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
        if (pixels[i] > 230 && pixels[i + 1] > 230 && pixels[i + 2] > 230) ++light;
    }
    return static_cast<double>(light) / (static_cast<double>(png->width()) * png->height());
}

// Each test gets a fresh embedded back end (on the port the kit of this process was first pointed at) that
// it can inspect and script, and a folder for the pictures. Runs are at 30x: the two-minute demo asset
// plays in four seconds of waiting, and the kit's request time-outs (60 s on the clock) still leave a
// heavily loaded machine (or a ThreadSanitizer build) two seconds of real time per request. The pictures
// are taken at 1x to keep a run light.
class DemoHostRun : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started =
            demoharness::startEmbeddedBackend({.port = demohost::HostConfiguration::embeddedPort().value_or(0)});
        ASSERT_TRUE(started) << started.error();
        backend = *started;
        folder = fs::temp_directory_path() / ("lumora-demo-run-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        options.speed = 30;
        // Only a bound for a run that hangs (media that never comes): no step waits this long, even on a
        // loaded machine, and a broken run fails in seconds rather than minutes.
        options.timeoutSeconds = 20;
        options.backend = backend;
        options.screenScale = 1;
        options.screenshotsDirectory = folder.string();
    }
    void TearDown() override {
        if (backend) backend->stop();
        fs::remove_all(folder);
    }

    // A run; whatever its road, a clean run leaves no warning of the toolkit's (a dismissal asked for while
    // another transition is under way, ...).
    ExitStatus run() {
        StderrCapture errors;
        const ExitStatus status = demoharness::runDemoHost(options, timeline);
        EXPECT_EQ(toolkitWarnings(errors.text()), "") << "road of " << options.assetId;
        return status;
    }
    // The last picture of the run shows the host's alert (a light panel over the player).
    void expectLastPictureShowsAlert(const std::string& slug) {
        ASSERT_FALSE(timeline.screenshots.empty()) << timeline.dump();
        const auto& last = timeline.screenshots.back();
        EXPECT_TRUE(last.name.ends_with("-" + slug)) << last.name;
        EXPECT_GT(lightShare(last.path), 0.02) << last.path << " shows no alert";
        EXPECT_EQ(timeline.events.back().kind, Kind::screenshots) << timeline.dump();
    }
    std::vector<devserver::PlayerEventRecord> events() const { return backend->playerEvents().events(); }
    std::size_t playRequests() const { return backend->server().requestLog().entries("/api/v3/play").size(); }

    std::shared_ptr<demoharness::EmbeddedBackend> backend;
    fs::path folder;
    demoharness::Options options;
    RecordingTimeline timeline;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(DemoHostRun, TheViewerSignsInOnTheKitsScreenAndTheProtectedAssetWithAdsPlaysToItsEnd) {
    // Entitlement tokens that are due for refresh during the run: every tick must ask for the current one.
    backend->entitlement().setTokenLifetime(100);
    const auto clockBefore = dispatch::Clock::current();

    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    EXPECT_EQ(dispatch::Clock::current(), clockBefore) << "the run puts the clock in force back";
    EXPECT_EQ(timeline.count(Kind::failed), 0u);

    // The road through the screen: the login screen, typing, the sign-in, the stream, keys before playing.
    const auto& e = timeline.events;
    ASSERT_GE(e.size(), 12u);
    EXPECT_EQ(e.front().kind, Kind::backend);
    EXPECT_LT(timeline.first(Kind::loginPresented), timeline.line("viewer: typed demo@lumora.dev"));
    EXPECT_LT(timeline.line("viewer: typed demo@lumora.dev"), timeline.line("viewer: tapped \"Login\""));
    EXPECT_LT(timeline.line("viewer: tapped \"Login\""), timeline.first(Kind::signedIn));
    EXPECT_NE(e[timeline.first(Kind::signedIn)].text.find("(account acc-demo-0001, active)"), std::string::npos);
    EXPECT_LT(timeline.first(Kind::signedIn), timeline.first(Kind::streamChosen));
    EXPECT_NE(e[timeline.first(Kind::streamChosen)].text.find("ssai-drm-hls-ts, FairPlay-protected"),
              std::string::npos);
    // Each extra in a line of its own as it goes to the screen: the thumbnails cover the programme, ads cut out.
    for (const char* extra : {"asset extras: 2 ad breaks (3 ads)", "asset extras: 11 key moments",
                              "asset extras: 21 scrubbing thumbnails"}) {
        EXPECT_TRUE(timeline.has(extra)) << extra << "\n" << timeline.dump();
    }
    EXPECT_LT(timeline.line("asset extras: 2 ad breaks"), timeline.first(Kind::playbackStarted)) << timeline.dump();
    EXPECT_LT(timeline.first(Kind::keyFetched), timeline.first(Kind::playbackStarted));
    EXPECT_GE(timeline.count(Kind::keyRenewed), 1u) << timeline.dump();
    EXPECT_LT(timeline.first(Kind::playbackStarted), timeline.first(Kind::playbackEnded));
    EXPECT_GE(timeline.count(Kind::analytics), 1u) << timeline.dump();
    // Both breaks: three ads, each started and finished.
    EXPECT_EQ(timeline.count(Kind::adStarted), 3u) << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::adFinished), 3u) << timeline.dump();
    EXPECT_TRUE(timeline.has("ad started: Ad 1 of 2 (ad-1a, 5 s)")) << timeline.dump();
    // Everything the viewer does, in order.
    const std::vector<std::string> steps{"viewer: tapped the picture",      "viewer: switched captions to Svenska",
                                         "viewer: scrubbed from",           "viewer: picked the key moment",
                                         "cast: playing on Living Room TV", "cast: Living Room TV disconnected",
                                         "viewer: jumped 15 s forward",     "viewer: jumped 15 s back"};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ASSERT_TRUE(timeline.has(steps[i])) << steps[i] << "\n" << timeline.dump();
        if (i > 0) {
            EXPECT_LT(timeline.line(steps[i - 1]), timeline.line(steps[i])) << steps[i];
        }
    }
    EXPECT_TRUE(timeline.has("key moment selected: ")) << timeline.dump();
    EXPECT_EQ(e[e.size() - 2].kind, Kind::finished) << timeline.dump();
    EXPECT_EQ(e.back().kind, Kind::screenshots);
    ASSERT_FALSE(timeline.positions.empty());
    EXPECT_DOUBLE_EQ(timeline.positions.back().first, 120.0);

    // Events: "str_start" #1, "period" ticks, one "end", numbered without gaps (answers may cross). The screen's
    // ticks go on after the end while it is open (the interval ends with the screen): only ticks follow "end".
    auto sent = timeline.sent();
    ASSERT_GE(sent.size(), 5u) << timeline.dump();
    std::sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.eventNumber < b.eventNumber; });
    EXPECT_EQ(sent.front().playerEvent, "str_start");
    const auto end = std::find_if(sent.begin(), sent.end(), [](const auto& s) { return s.playerEvent == "end"; });
    ASSERT_NE(end, sent.end()) << timeline.dump();
    for (auto after = std::next(end); after != sent.end(); ++after) EXPECT_EQ(after->playerEvent, "period");
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].eventNumber, static_cast<std::int64_t>(i + 1));
    std::size_t endIndex = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind == Kind::eventSent && e[i].playerEvent == "end") endIndex = i;
    }
    EXPECT_GT(endIndex, timeline.first(Kind::playbackEnded));

    // The back end saw the same events (and maybe ticks after the end that came once the run was over), all
    // accepted, each with a valid entitlement token that changed as it came due.
    const auto received = events();
    ASSERT_GE(received.size(), sent.size());
    for (std::size_t i = sent.size(); i < received.size(); ++i) EXPECT_EQ(received[i].playerEvent, "period");
    std::set<std::string> tokens;
    for (const auto& r : received) {
        EXPECT_EQ(r.status, 200) << r.rawBody;
        EXPECT_EQ(r.viewer, "acc-demo-0001");
        ASSERT_TRUE(r.authorization && r.authorization->starts_with("Bearer "));
        const std::string token = r.authorization->substr(7);
        EXPECT_TRUE(backend->entitlement().verify(token)) << r.playerEvent;
        tokens.insert(token);
    }
    EXPECT_GE(tokens.size(), 2u);
    EXPECT_GE(backend->licence().keysServed(), 4);  // two keys, and their renewals

    // The pictures, in the order of the story, decodable at the screen's size, and the index showing them
    // in that order with their timeline lines.
    EXPECT_EQ(timeline.shotNames(), (std::vector<std::string>{"01-login", "02-playing-controls", "03-ad",
                                                              "04-scrubbing", "05-key-moments", "06-end"}));
    const std::string index = readFile(folder / "index.html");
    std::size_t previous = 0;
    for (const auto& shot : timeline.screenshots) {
        EXPECT_EQ(shot.path, folder / (shot.name + ".png"));
        const std::string bytes = readFile(shot.path);
        auto png = imageio::decodePNG(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        ASSERT_TRUE(png) << shot.path;
        EXPECT_EQ(png->width(), 1024u);
        EXPECT_EQ(png->height(), 768u);
        const auto at = index.find("<img src=\"" + shot.name + ".png\"");
        ASSERT_NE(at, std::string::npos) << shot.name;
        EXPECT_GT(at, previous) << shot.name;
        previous = at;
    }
    EXPECT_NE(index.find("signed in as demo@lumora.dev"), std::string::npos);
    EXPECT_NE(index.find("playback ended at 02:00"), std::string::npos);
    EXPECT_NE(e.back().text.find(folder.string()), std::string::npos) << e.back().text;
}

TEST_F(DemoHostRun, ASecondSessionOfTheViewerHitsTheStreamLimitAndTheScreenSignsTheViewerOut) {
    options.secondSession = true;
    ASSERT_EQ(run(), ExitStatus::streamLimitReached) << timeline.dump();

    EXPECT_LT(timeline.first(Kind::secondSession), timeline.first(Kind::loginPresented));
    const auto& refused = timeline.events[timeline.first(Kind::eventRefused)];
    EXPECT_EQ(refused.playerEvent, "str_start");
    EXPECT_EQ(refused.eventNumber, 1);
    EXPECT_LT(timeline.first(Kind::eventRefused), timeline.first(Kind::signedOut));
    const auto& failure = timeline.events[timeline.first(Kind::failed)];
    EXPECT_EQ(failure.status, ExitStatus::streamLimitReached);
    EXPECT_NE(failure.text.find("Max number of active streams for this subscription is reached"), std::string::npos);
    EXPECT_EQ(timeline.count(Kind::playbackEnded), 0u);
    EXPECT_FALSE(lumora::ZuAuthManager::shared().isAuthenticated());
    EXPECT_EQ(timeline.shotNames().back(), "02-stream-limit");
    expectLastPictureShowsAlert("stream-limit");

    // The other device's session was accepted first; this device's was refused and opened nothing.
    const auto received = events();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0].status, 200);
    EXPECT_NE(received[0].session.find("lumora-demo-second-device"), std::string::npos);
    EXPECT_EQ(received[1].status, 403);
    EXPECT_EQ(backend->playerEvents().activeSessions("acc-demo-0001").size(), 1u);
}

TEST_F(DemoHostRun, AWrongPasswordOnTheLoginScreenFailsBeforeAnyPlayRequest) {
    options.password = "not-the-password";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();
    const auto& failure = timeline.events[timeline.first(Kind::failed)];
    EXPECT_EQ(failure.text,
              "sign-in failed for demo@lumora.dev: Failed to login user. Reason: Wrong email or password.");
    EXPECT_EQ(timeline.count(Kind::signedIn), 0u);
    EXPECT_EQ(playRequests(), 0u);
    // The login screen filled in, then its alert.
    EXPECT_EQ(timeline.shotNames(), (std::vector<std::string>{"01-login", "02-sign-in-failed"}));
}

TEST_F(DemoHostRun, AnUnknownAssetAndAnInactiveAccountAreRefusedWithClearMessages) {
    options.assetId = "unknown-asset";
    ASSERT_EQ(run(), ExitStatus::assetRefused) << timeline.dump();
    EXPECT_EQ(timeline.events[timeline.first(Kind::failed)].text,
              "asset \"unknown-asset\" refused by the play service: Stream not available: the play service "
              "refused the request (HTTP 404)");
    EXPECT_EQ(playRequests(), 1u);
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(timeline.has("asset extras")) << "nothing to add to an asset that does not exist";
    expectLastPictureShowsAlert("asset-refused");

    timeline = RecordingTimeline();
    options.assetId = "vod-protected";
    options.email = "inactive@lumora.dev";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();
    EXPECT_EQ(timeline.events[timeline.first(Kind::failed)].text,
              "sign-in refused for inactive@lumora.dev: The account is inactive.");
    EXPECT_EQ(playRequests(), 1u);
}

TEST_F(DemoHostRun, EveryRefusalOfThePlayServiceEndsWithThePictureOfTheHostsAlert) {
    // The answer comes while the login screen still dismisses itself: the alert waits for it, and the
    // run's end waits for the alert.
    for (const char* asset : {"no-stream", "err-1006", "err-3003"}) {
        timeline = RecordingTimeline();
        options.assetId = asset;
        ASSERT_EQ(run(), ExitStatus::assetRefused) << timeline.dump();
        expectLastPictureShowsAlert("asset-refused");
    }
}

TEST_F(DemoHostRun, HostileExtrasAreRefusedInALineOfTheTimelineAndThePlayGoesOnAtItsPace) {
    // 5,000 key moments (about 400 KiB) held the strip's main thread for half a minute of real time; the
    // host refuses the list. Thumbnails of which no frame decodes are not "25 scrubbing thumbnails".
    std::string moments = R"({"keyMoments":[)";
    for (int i = 0; i < 5000; ++i) {
        moments += (i ? "," : "") + std::string(R"({"code":"G","videoTime":)") + std::to_string(i % 120) +
                   R"(,"eventTime":0,"displayName":"Goal"})";
    }
    moments += "]}";
    backend->server().injectFault("/thumbnails/vod-protected-ads/key-moments.json",
                                  {.status = 200, .body = moments, .times = 0});
    std::string thumbnails =
        "\x89"
        "BIF\r\n\x1a\n";
    thumbnails.resize(64, '\0');
    thumbnails[12] = 2;  // two frames, each four bytes that are no JPEG
    for (std::uint32_t frame : {0u, 1u, 0xFFFFFFFFu}) {
        const std::uint32_t offset = 64 + 24 + (frame == 0xFFFFFFFFu ? 8 : frame * 4);
        for (std::uint32_t value : {frame, offset}) {
            for (int shift = 0; shift < 32; shift += 8) thumbnails.push_back(static_cast<char>(value >> shift));
        }
    }
    thumbnails += std::string("\xFF\xD8\xFF\xE0\xFF\xD8\xFF\xE0", 8);
    backend->server().injectFault("/thumbnails/vod-protected-ads/index.bif",
                                  {.status = 200, .body = thumbnails, .times = 0});

    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    for (const char* extra : {"asset extras: 2 ad breaks (3 ads)",
                              "asset extras: no key moments: 5000 of them, more than the 500 this host shows",
                              "asset extras: no thumbnails: none of the 2 frames decoded"}) {
        EXPECT_TRUE(timeline.has(extra)) << extra << "\n" << timeline.dump();
    }
    EXPECT_TRUE(timeline.has("viewer: looked for key moments; none are shown")) << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::playbackEnded), 1u);
}

TEST_F(DemoHostRun, AnotherBackEndCannotBeTakenOnceTheKitIsSetUpInThisProcess) {
    options.password = "not-the-password";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();  // sets the kit up for the embedded back end

    const dispatch::testing::TemporaryFolder scratch("demo-other");
    const auto plist = scratch / "other.plist";
    std::ofstream(plist) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SDK_PlayServiceURL</key>"
                         << "<string>http://127.0.0.1:9</string></dict></plist>";
    timeline = RecordingTimeline();
    options.backendPlist = plist.string();
    EXPECT_EQ(run(), ExitStatus::backendFailed);
    ASSERT_EQ(timeline.events.size(), 1u);
    EXPECT_NE(timeline.events[0].text.find("already set up for " + backend->baseURL()), std::string::npos)
        << timeline.events[0].text;
}

TEST_F(DemoHostRun, ARefusedLicenceEndsTheRunWithoutPlaying) {
    backend->licence().setEntitled("acc-demo-0001", false);
    ASSERT_EQ(run(), ExitStatus::licenceRefused) << timeline.dump();
    EXPECT_NE(timeline.events[timeline.first(Kind::failed)].text.find("licence refused"), std::string::npos)
        << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::playbackStarted), 0u);
    expectLastPictureShowsAlert("licence-refused");
}

TEST_F(DemoHostRun, TheExitAndTheLineFollowWhatHappenedToThePlayOrLicenceRequest) {
    // The kit tells the host one kind of failure for each road; what happened underneath (timed out, an
    // answer that cannot be used) decides the exit and the line. The kit's own request time-outs run on
    // the 30x clock: a delay of a minute of real time is far past them.
    struct Case {
        const char* path;
        devserver::Fault fault;
        ExitStatus exit;
        const char* line;
    };
    const std::vector<Case> cases{
        {"/api/v3/play",
         {.delay = std::chrono::minutes(1)},
         ExitStatus::timedOut,
         "the play request for asset \"vod-protected-ads\" timed out: Stream not available: the play request "
         "timed out"},
        {"/api/v3/play",
         {.status = 200, .body = R"({"assetId":)"},
         ExitStatus::unreadableAnswer,
         "the play service's answer for asset \"vod-protected-ads\" could not be used: Stream not available: "
         "the play service's answer could not be read"},
        {"/fairplay/license",
         {.delay = std::chrono::minutes(1), .times = 0},
         ExitStatus::timedOut,
         "the licence request timed out"},
        {"/fairplay/license",
         {.status = 200, .body = std::string(), .times = 0},
         ExitStatus::unreadableAnswer,
         "the licence server's answer could not be used"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        backend->server().clearFaults();
        backend->server().injectFault(c.path, c.fault);
        timeline = RecordingTimeline();
        ASSERT_EQ(run(), c.exit) << timeline.dump();
        const std::string& text = timeline.events[timeline.first(Kind::failed)].text;
        EXPECT_TRUE(text.starts_with(c.line)) << text;
        EXPECT_EQ(timeline.count(Kind::playbackStarted), 0u);
    }
}

TEST_F(DemoHostRun, ACertificateThatCannotBeUsedIsNamedAndNoLicenceIsAskedFor) {
    // An empty certificate, then one cut short: the request data cannot be made, so the licence server
    // never hears of the key.
    for (const devserver::Fault& fault : {devserver::Fault{.status = 200, .body = std::string(), .times = 0},
                                          devserver::Fault{.cutBodyAfter = 20, .times = 0}}) {
        backend->server().clearFaults();
        backend->server().injectFault("/fairplay/certificate", fault);
        timeline = RecordingTimeline();
        ASSERT_EQ(run(), ExitStatus::playbackFailed) << timeline.dump();
        const std::string& text = timeline.events[timeline.first(Kind::failed)].text;
        EXPECT_NE(
            text.find("the FairPlay certificate at " + backend->baseURL() + "/fairplay/certificate could not be used"),
            std::string::npos)
            << timeline.dump();
        EXPECT_EQ(backend->server().requestLog().entries("/fairplay/license").size(), 0u);
        EXPECT_EQ(backend->licence().keysServed(), 0);
    }
}

TEST_F(DemoHostRun, TheTimelineSaysHowEachPlayerEventWasAnswered) {
    // The kit counts an error status and a lost answer as delivered; the timeline tells them apart.
    backend->server().injectFault("/api/v1/player-events", {.status = 500, .times = 1});
    backend->server().injectFault("/api/v1/player-events", {.cutBodyAfter = 10, .times = 1});
    options.assetId = "vod-clear";
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    auto sent = timeline.sent();
    ASSERT_GE(sent.size(), 3u) << timeline.dump();
    std::sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.eventNumber < b.eventNumber; });
    EXPECT_EQ(sent[0].text.rfind("event answered 500: str_start #1 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[0].text.find("counted as delivered"), std::string::npos) << sent[0].text;
    EXPECT_EQ(sent[1].text.rfind("event not answered: period #2 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[1].text.find("The network connection was lost"), std::string::npos) << sent[1].text;
    EXPECT_EQ(sent[2].text.rfind("event sent: period #3 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[2].text.find("answered 200)"), std::string::npos) << sent[2].text;
}

TEST_F(DemoHostRun, APlayerEventServiceThatNeverAnswersDoesNotTurnAPlayIntoATimeOut) {
    // Every event is held for ten minutes of real time (answers cut short when the back end stops): the kit
    // gives each up after its own time-out (60 s on the clock, two seconds here) and plays on; its ticks
    // go on after the end, each as unanswered as the last.
    backend->server().injectFault("/api/v1/player-events", {.delay = std::chrono::minutes(10), .times = 0});
    options.assetId = "vod-clear";
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    auto sent = timeline.sent();
    ASSERT_FALSE(sent.empty());
    for (const auto& event : sent) EXPECT_EQ(event.text.rfind("event not answered: ", 0), 0u) << event.text;
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const auto& e) { return e.playerEvent == "end"; }))
        << timeline.dump();
    EXPECT_LT(timeline.line("event not answered: end #"), timeline.first(Kind::finished));
}

TEST_F(DemoHostRun, AStepWithoutProgressTimesOutNamingTheStep) {
    // At 1x: the kit's own request time-outs run on the clock too and would end a slow request first at 600x.
    // The bound leaves the steps before it (the login screen, the sign-in) time on a loaded machine, and is
    // far shorter than the play service's delay.
    backend->server().injectFault("/api/v3/play", {.delay = std::chrono::seconds(40)});
    options.speed = 1;
    options.timeoutSeconds = 10;
    ASSERT_EQ(run(), ExitStatus::timedOut) << timeline.dump();
    EXPECT_NE(timeline.events[timeline.first(Kind::failed)].text.find("asking the play service"), std::string::npos)
        << timeline.dump();
}

// What the console sink writes, on a terminal and in a pipe.
std::string written(bool terminal, const std::function<void(demoharness::ConsoleTimeline&)>& use,
                    std::string* errors = nullptr) {
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    {
        demoharness::ConsoleTimeline console(out, err, terminal);
        use(console);
    }
    std::fclose(out);
    std::fclose(err);
    std::string text(outText, outSize);
    if (errors) *errors = std::string(errText, errSize);
    std::free(outText);
    std::free(errText);
    return text;
}

// The minutes and seconds of a timeline's "mm:ss" after `prefix` in `line`; -1 when there is none.
double secondsAfter(const std::string& line, const std::string& prefix) {
    const auto at = line.find(prefix);
    if (at == std::string::npos || line.size() < at + prefix.size() + 5) return -1;
    const std::string mmss = line.substr(at + prefix.size(), 5);
    if (mmss[2] != ':') return -1;
    return std::stoi(mmss.substr(0, 2)) * 60 + std::stoi(mmss.substr(3, 2));
}

TEST_F(DemoHostRun, TheKeyMomentPictureShowsTheMomentWhereItsSeekLands) {
    // The picked moment is on the programme's timeline (ads cut out): its seek goes to the stream time after
    // the break before it, and the slider then rests on its marker, not a break's length before it.
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    const auto picked = timeline.line("viewer: picked the key moment HT");
    ASSERT_LT(picked, timeline.events.size()) << timeline.dump();
    const std::string& pick = timeline.events[picked].text;
    const double moment = secondsAfter(pick, ") at ");
    EXPECT_EQ(moment, 48) << pick;
    EXPECT_EQ(secondsAfter(pick, "the seek went to "), moment + 10) << pick;

    const auto landed = timeline.line("viewer: the seek landed:");
    ASSERT_LT(landed, timeline.events.size()) << timeline.dump();
    const std::string& seen = timeline.events[landed].text;
    const double slider = secondsAfter(seen, "the slider at ");
    EXPECT_GE(slider, moment) << seen;
    EXPECT_LE(slider, moment + 3) << seen;
    // The slider follows the playhead a tick behind at most; both read in whole seconds.
    EXPECT_NEAR(secondsAfter(seen, "the picture at "), slider + 10, 1) << seen;
    // The picture is the one taken as the seek landed.
    const auto names = timeline.shotNames();
    ASSERT_TRUE(std::find(names.begin(), names.end(), "05-key-moments") != names.end()) << timeline.dump();
    const std::string index = readFile(folder / "index.html");
    EXPECT_LT(index.find(demoharness::ScreenshotAlbum::escapeHTML(pick)), index.find("05-key-moments.png"));
}

TEST_F(DemoHostRun, ASilentKeyMomentsRequestHoldsBackNeitherTheAdsNorTheThumbnails) {
    // The key moments are held for ten minutes of real time (cut short when the back end stops); the host's
    // own wait (600 s on the clock) outlasts the programme.
    backend->server().injectFault("/thumbnails/vod-protected-ads/key-moments.json",
                                  {.delay = std::chrono::minutes(10), .times = 0});
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::adStarted), 3u) << timeline.dump();
    EXPECT_TRUE(timeline.has("asset extras: 2 ad breaks (3 ads)")) << timeline.dump();
    EXPECT_TRUE(timeline.has("asset extras: 21 scrubbing thumbnails")) << timeline.dump();
    EXPECT_TRUE(timeline.has("viewer: looked for key moments; none are shown")) << timeline.dump();
    // What never came is said.
    const auto missing = timeline.line("asset extras: no key moments: not answered while the stream played");
    ASSERT_LT(missing, timeline.events.size()) << timeline.dump();
    EXPECT_GT(missing, timeline.first(Kind::playbackEnded));
    EXPECT_LT(missing, timeline.first(Kind::finished));
}

TEST_F(DemoHostRun, AdsNoStreamCanHoldAreRefusedInALineAndTheViewerUsesTheControlsThroughout) {
    // An ad from before the stream to the end of time held the controls away for the whole programme.
    backend->server().injectFault(
        "/ads/vod-protected-ads/breaks.json",
        {.status = 200,
         .body =
             R"({"breaks":[{"ads":[{"id":"\u001b[2Jlock","startTime":-50,"duration":1e308},)"
             R"({"id":"back","startTime":10,"duration":-30}]},)"
             R"({"ads":[{"id":"ad-2a","startTime":80,"duration":6},{"id":"long","startTime":100,"duration":1e308}]}]})",
         .times = 0});
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    EXPECT_TRUE(timeline.has(R"(asset extras: 1 ad break (1 ad), 3 ads refused (ad "\x1b[2Jlock": starts at -50 s, )"
                             R"(before the stream, and 2 more))"))
        << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::adStarted), 1u) << timeline.dump();
    for (const char* step : {"viewer: tapped the picture; the controls are shown", "viewer: scrubbed from",
                             "viewer: picked the key moment", "cast: playing on", "viewer: jumped 15 s forward",
                             "viewer: jumped 15 s back"}) {
        EXPECT_TRUE(timeline.has(step)) << step << "\n" << timeline.dump();
    }
}

// Whether `text` holds a byte a terminal acts on: C0 controls, DEL, or a C1 control in UTF-8.
bool holdsControls(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) return true;
    }
    return false;
}

TEST_F(DemoHostRun, ControlCharactersFromTheBackEndReachTheTimelineEscaped) {
    // A sign-in refusal whose description clears the screen, retitles the window and forges a line.
    backend->server().injectFault(
        "/oauth/token",
        {.status = 403,
         .body = R"({"error":"invalid_grant","error_description":"\u001b[2J\u001b]0;owned\u0007\r\n  02:12.3  )"
                 R"(finished: played 02:00 \u009b31mMalmö"})",
         .times = 0});
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();
    for (const auto& event : timeline.events) EXPECT_FALSE(holdsControls(event.text)) << event.text;
    const std::string& failure = timeline.events[timeline.first(Kind::failed)].text;
    EXPECT_NE(failure.find(R"(\x1b[2J\x1b]0;owned\x07\r\n  02:12.3  finished: played 02:00 \u009b31mMalmö)"),
              std::string::npos)
        << failure;
    EXPECT_FALSE(timeline.has("finished")) << timeline.dump();
    const std::string index = readFile(folder / "index.html");
    EXPECT_EQ(index.find('\x1b'), std::string::npos);
    EXPECT_EQ(index.find('\x07'), std::string::npos);
    EXPECT_NE(index.find(R"(\x1b[2J)"), std::string::npos);

    // The printer escapes whatever it is handed, in one line, and on standard error too.
    std::string errors;
    const std::string out = written(
        false,
        [&](demoharness::ConsoleTimeline& console) {
            console.record({.kind = Kind::failed, .text = "a\x1b[2Jb\nc", .status = ExitStatus::signInFailed});
        },
        &errors);
    EXPECT_EQ(out, "  00:00.0  a\\x1b[2Jb\\nc\n");
    EXPECT_EQ(errors, "lumora-demo: a\\x1b[2Jb\\nc\n");
}

TEST(DemoHostText, ControlCharactersAreEscapedAndBrokenUTF8Replaced) {
    using demoharness::printable;
    EXPECT_EQ(printable("Grand Final: Malmö – 2:1 ⚽"), "Grand Final: Malmö – 2:1 ⚽");
    EXPECT_EQ(printable(std::string("a\0b\x1b[31m\x07\x7f\t\r\n", 13)), "a\\x00b\\x1b[31m\\x07\\x7f\\t\\r\\n");
    // C1 controls (an 8-bit CSI, NEL) are control characters too.
    EXPECT_EQ(printable("\xc2\x9b"
                        "2J\xc2\x85"
                        "x"),
              "\\u009b2J\\u0085x");
    // Each broken part is one replacement character: a stray continuation, a cut sequence, an overlong form,
    // a surrogate, beyond U+10FFFF, a lead byte that no sequence starts with.
    const std::string fffd = "\xef\xbf\xbd";
    EXPECT_EQ(printable("\x80"), fffd);
    EXPECT_EQ(printable("a\xe2\x82"), "a" + fffd);
    EXPECT_EQ(printable("\xe2\x82"
                        "b"),
              fffd + "b");
    EXPECT_EQ(printable("\xc0\xaf"), fffd + fffd);
    EXPECT_EQ(printable("\xed\xa0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(printable("\xf4\x90\x80\x80"), fffd + fffd + fffd + fffd);
    EXPECT_EQ(printable("\xff"
                        "\x1b"),
              fffd + "\\x1b");
    // What it writes is printable already.
    for (const std::string text : {"\x1b]0;t\x07", "\xc2\x9b\xe2\x82", "plain"}) {
        EXPECT_EQ(printable(printable(text)), printable(text)) << text;
    }
}

TEST(DemoBackEndExtras, AThumbnailAfterAnAdBreakShowsThePictureWhereTheSeekLandsAndEachMomentIsWhereTheStreamShowsIt) {
    // What the host hands the controls of the asset with ads, read as the host reads it, and the kit's own
    // conversion from the slider's programme time to where a seek lands on the stream.
    const std::string asset(devserver::play::vodProtectedAds);
    auto breaks = demohost::AssetExtras::parseAdBreaks(devserver::play::adBreaks(asset)->dump());
    ASSERT_TRUE(breaks);
    auto proxy = lumora::VideoPlayerProxy::create(lumora::AdSignallingService::create());
    proxy->update(breaks->groups);
    const double programme = proxy->durationWithoutAds(120);

    const auto data = devserver::thumbnails::bifData(asset);
    ASSERT_TRUE(data);
    auto bif = lumora::BIF::from(*data, lumora::BIFResolution::standard, demohost::AssetExtras::thumbnailLimits());
    ASSERT_TRUE(bif) << bif.error().localizedDescription();
    EXPECT_EQ(bif->thumbnails.size(), static_cast<std::size_t>(programme / 5) + 1) << "frames over the programme";
    // Before the first break, just after each break, between and near the end: the thumbnail under the
    // slider's value is the picture of the stream where a seek to that value lands.
    for (double value : {10.0, 30.0, 50.0, 70.0, 100.0}) {
        const double landsAt = proxy->currentTimeWithAds(value);
        auto picture = imageio::encodeJPEG(devserver::thumbnails::drawPicture(asset, landsAt),
                                           devserver::thumbnails::FrameStyle{}.jpegQuality);
        ASSERT_TRUE(picture);
        auto image = bif->image(value);
        ASSERT_TRUE(image) << value;
        EXPECT_TRUE(image->bitmap() == *imageio::decode(*picture)) << "content " << value << " lands at " << landsAt;
    }

    // Every moment lies in the programme, and its seek lands where the stream shows it: at the stream time of
    // the same moment in the asset without ads.
    auto withAds = demohost::AssetExtras::parseKeyMoments(devserver::thumbnails::keyMoments(asset)->dump());
    auto plain = demohost::AssetExtras::parseKeyMoments(
        devserver::thumbnails::keyMoments(devserver::play::vodProtected)->dump());
    ASSERT_TRUE(withAds && plain);
    ASSERT_EQ(withAds->size(), plain->size());
    EXPECT_EQ((*devserver::thumbnails::keyMoments(asset))["duration"], programme);
    for (std::size_t i = 0; i < withAds->size(); ++i) {
        EXPECT_LE((*withAds)[i].videoTime, programme) << (*withAds)[i].code;
        EXPECT_EQ(proxy->currentTimeWithAds((*withAds)[i].videoTime), (*plain)[i].videoTime) << (*withAds)[i].code;
    }
}

TEST(DemoHostArguments, DefaultsFlagsAndErrors) {
    auto defaults = demoharness::parseArguments({});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->email, "demo@lumora.dev");
    EXPECT_EQ(defaults->password, "lumora-demo");
    EXPECT_EQ(defaults->assetId, "vod-protected-ads");
    EXPECT_TRUE(defaults->screenshotsDirectory.empty());
    EXPECT_EQ(defaults->speed, 60);
    EXPECT_FALSE(defaults->backendPlist);
    EXPECT_FALSE(defaults->secondSession);

    auto all = demoharness::parseArguments({"--email", "a@b.c", "--password=p w", "--asset", "vod-clear", "--speed=600",
                                            "--backend-plist", "/x/Info.plist", "--second-session", "--timeout", "2.5",
                                            "--screenshots", "/tmp/pictures"});
    ASSERT_TRUE(all) << all.error();
    EXPECT_EQ(all->email, "a@b.c");
    EXPECT_EQ(all->password, "p w");
    EXPECT_EQ(all->assetId, "vod-clear");
    EXPECT_EQ(all->speed, 600);
    EXPECT_EQ(all->backendPlist, "/x/Info.plist");
    EXPECT_TRUE(all->secondSession);
    EXPECT_EQ(all->timeoutSeconds, 2.5);
    EXPECT_EQ(all->screenshotsDirectory, "/tmp/pictures");
    EXPECT_TRUE(demoharness::parseArguments({"-h"})->help);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--speed", "0"},
                                                                                     {"--speed", "1001"},
                                                                                     {"--speed", "fast"},
                                                                                     {"--speed", "nan"},
                                                                                     {"--speed"},
                                                                                     {"--email"},
                                                                                     {"--email="},
                                                                                     {"--screenshots"},
                                                                                     {"--timeout", "-1"},
                                                                                     {"--second-session=yes"},
                                                                                     {"--bogus"},
                                                                                     {"vod-clear"}}) {
        auto parsed = demoharness::parseArguments(bad);
        EXPECT_FALSE(parsed) << bad.front();
        if (!parsed) {
            EXPECT_FALSE(parsed.error().empty());
        }
    }
    const std::string help = demoharness::usage();
    for (const char* flag : {"--email", "--password", "--asset", "--speed", "--backend-plist", "--second-session",
                             "--timeout", "--screenshots", "--help", "demo@lumora.dev", "lumora-demo"}) {
        EXPECT_NE(help.find(flag), std::string::npos) << flag;
    }
}

TEST(DemoHostPictures, TheIndexEscapesTheTimelineAndClosesWithTheLinesAfterTheLastPicture) {
    EXPECT_EQ(demoharness::ScreenshotAlbum::escapeHTML("a<b>&\"c\""), "a&lt;b&gt;&amp;&quot;c&quot;");
    const dispatch::testing::TemporaryFolder scratch("demo-album");
    const auto folder = scratch / "pictures";
    demoharness::ScreenshotAlbum album(folder);
    album.addTimelineLine("  00:01.0  viewer: tapped \"Login\" <now>");
    ASSERT_TRUE(album.writeIndex("Run & done"));
    const std::string index = readFile(folder / "index.html");
    EXPECT_NE(index.find("<title>Run &amp; done</title>"), std::string::npos) << index;
    EXPECT_NE(index.find("viewer: tapped &quot;Login&quot; &lt;now&gt;"), std::string::npos) << index;
    EXPECT_EQ(index.find("<img"), std::string::npos);
    // A folder that cannot be made is an error, not a crash.
    demoharness::ScreenshotAlbum nowhere("/proc/no-such-folder/pictures");
    EXPECT_FALSE(nowhere.writeIndex("x"));
}

TEST(DemoHostConsole, ABarOnATerminalAndPlainLinesElsewhere) {
    auto play = [](demoharness::ConsoleTimeline& c) {
        c.record({.kind = Kind::playbackStarted, .clockSeconds = 4.25, .text = "playback started"});
        for (double p = 0; p <= 120; p += 0.5) c.progress(p, 120);
        c.record({.kind = Kind::playbackEnded, .clockSeconds = 124.3, .text = "playback ended"});
        c.record({.kind = Kind::failed, .clockSeconds = 125, .text = "it broke", .status = ExitStatus::playbackFailed});
    };
    std::string errors;
    const std::string piped = written(false, play, &errors);
    EXPECT_EQ(piped.find('\r'), std::string::npos);
    EXPECT_NE(piped.find("  00:04.3  playback started\n"), std::string::npos) << piped;
    EXPECT_NE(piped.find("progress  25%  00:30 / 02:00\n"), std::string::npos) << piped;
    EXPECT_NE(piped.find("progress 100%  02:00 / 02:00\n"), std::string::npos) << piped;
    EXPECT_NE(piped.find("  02:04.3  playback ended\n"), std::string::npos) << piped;
    EXPECT_EQ(errors, "lumora-demo: it broke\n");

    const std::string terminal = written(true, play);
    EXPECT_NE(terminal.find("\r\033[K  [###############---------------]  01:00 / 02:00   50%"), std::string::npos);
    // The bar is cleared before a line is written over it, and not redrawn for every tick.
    EXPECT_NE(terminal.find("100%\r\033[K  02:04.3  playback ended\n"), std::string::npos);
    EXPECT_LT(std::count(terminal.begin(), terminal.end(), '\r'), 240);

    EXPECT_EQ(demoharness::ConsoleTimeline::stamp(3725.04), "1:02:05.0");
    EXPECT_EQ(demoharness::ConsoleTimeline::progressBar(10, 0, 4), "[~~~~]  00:10 (live)");
    EXPECT_EQ(demoharness::ConsoleTimeline::progressBar(500, 120, 4), "[####]  08:20 / 02:00  100%");
}

TEST(DemoHostClock, TheScaledClockContinuesFromThePreviousReadingsAndScalesWaits) {
    dispatch::ManualClock previous;
    previous.set(std::chrono::seconds(100));
    auto clock = demoharness::ScaledClock::continuing(previous, 60);
    EXPECT_GE(clock->now(), std::chrono::seconds(100));
    EXPECT_GE(clock->wallNow(), previous.wallNow());
    EXPECT_EQ(clock->speed(), 60);
    // A minute of clock time is a second of real time; the past needs none. Held, the clock cannot move
    // between the reading and the question, however busy the machine.
    clock->pause();
    const auto wait = clock->realDurationUntil(clock->now() + std::chrono::seconds(60));
    clock->resume();
    EXPECT_GE(wait, std::chrono::seconds(1));
    EXPECT_LE(wait, std::chrono::seconds(1) + std::chrono::microseconds(1));
    EXPECT_EQ(clock->realDurationUntil(std::chrono::seconds(0)), std::chrono::nanoseconds(0));
    EXPECT_EQ(demoharness::ScaledClock(std::nan(""), {}).speed(), 1);
    EXPECT_EQ(demoharness::ScaledClock(-3, {}).speed(), 1);

    // Held, the clock stands still (holds nest) and goes on from where it stood, never backwards.
    clock->pause();
    clock->pause();
    const auto held = clock->now();
    const auto heldWall = clock->wallNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(clock->now(), held);
    EXPECT_EQ(clock->wallNow(), heldWall);
    clock->resume();
    EXPECT_EQ(clock->now(), held);
    clock->resume();
    clock->resume();  // one too many: nothing
    EXPECT_GE(clock->now(), held);
}

#ifdef LUMORA_DEMO_PROGRAM
// The program, as `make demo` runs it, against a back end named by a host property list.
struct ProgramResult {
    int status = -1;
    std::string output;
};

// `environment` is put before the command ("TMPDIR=/x").
ProgramResult runProgram(const std::string& arguments, const std::string& environment = {}) {
    ProgramResult result;
    const std::string command = environment + " " + std::string(LUMORA_DEMO_PROGRAM) + " " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class DemoProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("lumora-demo-test-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
};

TEST_F(DemoProgram, PlaysAgainstTheBackEndOfAHostPropertyList) {
    auto started = demoharness::startEmbeddedBackend();
    ASSERT_TRUE(started) << started.error();
    auto backend = *started;
    const std::string base = backend->baseURL();
    const fs::path plist = folder / "Host.plist";
    std::ofstream(plist) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
                         << "<key>CFBundleIdentifier</key><string>dev.lumora.demo-host-test-" << ::getpid()
                         << "</string>\n"
                         << "<key>SDK_PlayServiceURL</key><string>" << base << "</string>\n"
                         << "<key>SDK_Auth0Domain</key><string>" << base << "</string>\n"
                         << "<key>SDK_EntitlementServiceURL</key><string>" << base << "/entitlement/</string>\n"
                         << "</dict></plist>\n";
    // At 30x, as the in-process runs: a loaded machine still has time for each request.
    const auto result =
        runProgram("--backend-plist " + plist.string() + " --speed 30 --asset vod-clear --timeout 20 --screenshots " +
                   (folder / "pictures").string());
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("back end: from " + plist.string() + " (play service " + base), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("playback ended at 02:00"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(": end #"), std::string::npos) << result.output;  // delivered, however answered
    EXPECT_EQ(result.output.find('\r'), std::string::npos) << "no progress bar in a pipe";
    EXPECT_TRUE(fs::exists(folder / "pictures" / "index.html")) << result.output;
    EXPECT_GE(backend->playerEvents().events().size(), 5u);
    backend->stop();
}

// The program started with `arguments` and TMPDIR=`temporary`, its standard output read through a pipe.
struct Child {
    pid_t pid = -1;
    std::FILE* out = nullptr;

    Child(const std::vector<std::string>& arguments, const fs::path& temporary) {
        std::vector<std::string> words{LUMORA_DEMO_PROGRAM};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        // Everything the child needs is made before the fork: it only rewires its output and executes.
        std::vector<std::string> variables{"TMPDIR=" + temporary.string()};
        for (char** variable = environ; *variable; ++variable) {
            if (!std::string_view(*variable).starts_with("TMPDIR=")) variables.emplace_back(*variable);
        }
        std::vector<char*> envp;
        for (auto& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out = ::fdopen(fds[0], "r");
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out) std::fclose(out);
    }
    // Reads its timeline until a line holding `text`; false at the end of its output.
    bool readUntil(const std::string& text) {
        char line[4096];
        while (out && std::fgets(line, sizeof line, out)) {
            if (std::string(line).find(text) != std::string::npos) return true;
        }
        return false;
    }
};

TEST_F(DemoProgram, AKilledRunLeavesItsFolderToTheNextRunWhichRemovesItAndNothingElse) {
    const fs::path temporary = folder / "tmp";
    fs::create_directories(temporary);
    // A run folder of a process that lives (this one) and a folder that is no run's: both stay.
    const fs::path live = temporary / ("lumora-demo-" + std::to_string(::getpid()) + "-abcdef");
    const fs::path other = temporary / "lumora-demo-notes";
    fs::create_directories(live);
    fs::create_directories(other);

    fs::path killed;
    {
        Child run({"--asset", "vod-clear", "--speed", "30", "--screenshots", (folder / "pictures").string()},
                  temporary);
        ASSERT_GT(run.pid, 0);
        ASSERT_TRUE(run.readUntil("stream chosen: ")) << "the run did not get as far as a stream";
        ASSERT_EQ(::kill(run.pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(run.pid, &status, 0), run.pid);
        run.pid = -1;
        ASSERT_TRUE(WIFSIGNALED(status));
        for (const auto& entry : fs::directory_iterator(temporary)) {
            if (entry.path() != live && entry.path() != other) killed = entry.path();
        }
    }
    // What a kill leaves: the host bundle and the viewer's sign-in.
    ASSERT_TRUE(fs::exists(killed / "Info.plist")) << killed;
    ASSERT_FALSE(fs::is_empty(killed / "keychain")) << "the sign-in was kept elsewhere";

    // The next run (a wrong password ends it soon) removes it, and its own folder at its exit.
    const auto next =
        runProgram("--password wrong --screenshots " + (folder / "pictures").string(), "TMPDIR=" + temporary.string());
    EXPECT_EQ(next.status, static_cast<int>(ExitStatus::signInFailed)) << next.output;
    std::set<fs::path> left;
    for (const auto& entry : fs::directory_iterator(temporary)) left.insert(entry.path());
    EXPECT_EQ(left, (std::set<fs::path>{live, other}));
}

// Waits for the child's end; a child still running after `bound` of real time is killed (its status then
// says so).
int waitBounded(pid_t pid, std::chrono::seconds bound) {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, bound, [&] { return done; })) ::kill(pid, SIGKILL);
    });
    int status = 0;
    ::waitpid(pid, &status, 0);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_all();
    watchdog.join();
    return status;
}

TEST_F(DemoProgram, EveryEndingSignalRemovesTheRunFolderAlsoWhenASecondComesDuringTheCleanUp) {
    // Closing the terminal, Ctrl-\\, `timeout` with Ctrl-C right after it, Ctrl-C again once the run says it
    // was interrupted: each run folder held the viewer's access, id and refresh tokens when its signals came.
    // At 1x, so that no run ends by itself first.
    struct Case {
        std::vector<int> signals;  // sent together
        int again = 0;             // sent once the run has said it was interrupted
    };
    const std::vector<Case> cases{{{SIGHUP}},  {{SIGQUIT}},         {{SIGTERM}},       {{SIGINT}},
                                  {{SIGUSR1}}, {{SIGTERM, SIGINT}}, {{SIGINT}, SIGINT}};
    struct Started {
        Case signals;
        fs::path temporary;
        std::unique_ptr<Child> child;
    };
    std::vector<Started> runs;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path temporary = folder / ("tmp-" + std::to_string(i));
        fs::create_directories(temporary);
        const std::string pictures = (folder / ("pictures-" + std::to_string(i))).string();
        runs.push_back({cases[i], temporary,
                        std::make_unique<Child>(
                            std::vector<std::string>{"--asset", "vod-clear", "--speed", "1", "--screenshots", pictures},
                            temporary)});
    }
    auto name = [](const Case& c) {
        std::string text;
        for (int signal : c.signals) text += (text.empty() ? "" : " and ") + std::string(::sigabbrev_np(signal));
        if (c.again) text += " then " + std::string(::sigabbrev_np(c.again));
        return text;
    };
    for (auto& run : runs) {
        ASSERT_GT(run.child->pid, 0);
        ASSERT_TRUE(run.child->readUntil("stream chosen: ")) << name(run.signals) << ": no stream";
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(run.temporary)) folders.push_back(entry.path());
        ASSERT_EQ(folders.size(), 1u) << name(run.signals);
        ASSERT_FALSE(fs::is_empty(folders[0] / "keychain")) << name(run.signals) << ": no sign-in kept";
        for (int signal : run.signals.signals) ASSERT_EQ(::kill(run.child->pid, signal), 0);
    }
    for (auto& run : runs) {
        if (run.signals.again) {
            ASSERT_TRUE(run.child->readUntil("interrupted while")) << name(run.signals);
            ASSERT_EQ(::kill(run.child->pid, run.signals.again), 0);
        }
    }
    for (auto& run : runs) {
        const int status = waitBounded(run.child->pid, std::chrono::seconds(60));
        run.child->pid = -1;
        EXPECT_TRUE(WIFEXITED(status)) << name(run.signals) << " ended the process without its clean-up";
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ExitStatus::interrupted)) << name(run.signals);
        }
        EXPECT_TRUE(fs::is_empty(run.temporary)) << name(run.signals) << " left the run folder behind";
    }
}

TEST_F(DemoProgram, AnUnusablePropertyListOrCommandLineIsRefusedWithAClearMessage) {
    const fs::path garbage = folder / "Garbage.plist";
    std::ofstream(garbage) << "<plist><dict><key>SDK_PlayServiceURL</key>";
    auto result = runProgram("--backend-plist " + garbage.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find("lumora-demo: cannot read the host property list"), std::string::npos)
        << result.output;

    const fs::path noURL = folder / "NoURL.plist";
    std::ofstream(noURL) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                         << "<key>SDK_PlayServiceURL</key><string>not a url</string></dict></plist>";
    result = runProgram("--backend-plist " + noURL.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find("is not an http(s) address"), std::string::npos) << result.output;

    // Not regular files: a FIFO (no writer: a plain open would wait for ever) and a folder.
    const fs::path fifo = folder / "Fifo.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    result = runProgram("--backend-plist " + fifo.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find(fifo.string() + "\": is a FIFO, not a regular file"), std::string::npos)
        << result.output;
    result = runProgram("--backend-plist " + folder.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find("is a folder, not a regular file"), std::string::npos) << result.output;

    // A text holding a NUL byte is refused, not an abort of the program.
    const fs::path nul = folder / "Nul.plist";
    std::ofstream(nul) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SDK_PlayServiceURL</key>"
                       << "<string>http://127.0.0.1:1" << '\0' << "</string></dict></plist>";
    result = runProgram("--backend-plist " + nul.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find("NUL character"), std::string::npos) << result.output;

    // A sign-in setting of the wrong type is named, not replaced by the default address.
    const fs::path wrongType = folder / "WrongType.plist";
    std::ofstream(wrongType) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                             << "<key>SDK_PlayServiceURL</key><string>http://127.0.0.1:1</string>"
                             << "<key>SDK_Auth0Domain</key><integer>7</integer></dict></plist>";
    result = runProgram("--backend-plist " + wrongType.string());
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::backendFailed)) << result.output;
    EXPECT_NE(result.output.find("SDK_Auth0Domain in " + wrongType.string() + " is an integer, not text"),
              std::string::npos)
        << result.output;

    result = runProgram("--speed");
    EXPECT_EQ(result.status, static_cast<int>(ExitStatus::usage)) << result.output;
    EXPECT_NE(result.output.find("--speed needs a value"), std::string::npos) << result.output;

    result = runProgram("--help");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("--second-session"), std::string::npos);
}
#endif

}  // namespace
