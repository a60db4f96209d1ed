#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DemoHost.h"
#include "EmbeddedBackend.h"
#include "HostConfiguration.h"
#include "ScaledClock.h"
#include "authentication/ZuAuthManager.h"
#include "dispatch/Clock.h"

namespace fs = std::filesystem;
using demohost::ExitStatus;
using demohost::TimelineEvent;
using Kind = demohost::TimelineEvent::Kind;

namespace {

class RecordingTimeline final : public demohost::TimelineSink {
  public:
    void record(const TimelineEvent& event) override { events.push_back(event); }
    void progress(double position, double duration) override { positions.push_back({position, duration}); }

    std::size_t count(Kind kind) const {
        return static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.kind == kind; }));
    }
    // Index of the first event of `kind` (events.size() when none).
    std::size_t first(Kind kind) const {
        auto it = std::find_if(events.begin(), events.end(), [&](const auto& e) { return e.kind == kind; });
        return static_cast<std::size_t>(it - events.begin());
    }
    std::vector<TimelineEvent> sent() const {
        std::vector<TimelineEvent> out;
        for (const auto& e : events) {
            if (e.kind == Kind::eventSent) out.push_back(e);
        }
        return out;
    }
    std::string dump() const {
        std::string text;
        for (const auto& e : events)
            text += "  " + demohost::ConsoleTimeline::stamp(e.clockSeconds) + "  " + e.text + "\n";
        return text;
    }

    std::vector<TimelineEvent> events;
    std::vector<std::pair<double, double>> positions;
};

// Each test gets a fresh embedded back end (on the port the kit of this process was first pointed at) that
// it can inspect and script. Runs are at 100x: the two-minute demo asset plays in 1.2 s, and the kit's
// request time-outs (60 s on the clock) still leave a heavily loaded machine 0.6 s of real time per request.
class DemoHostRun : public ::testing::Test {
  protected:
    void SetUp() override {
        auto started =
            demohost::startEmbeddedBackend({.port = demohost::HostConfiguration::embeddedPort().value_or(0)});
        ASSERT_TRUE(started) << started.error();
        backend = *started;
        options.speed = 100;
        options.timeoutSeconds = 8;
        options.backend = backend;
    }
    void TearDown() override {
        if (backend) backend->stop();
    }

    ExitStatus run() { return demohost::runDemoHost(options, timeline); }
    std::vector<devserver::PlayerEventRecord> events() const { return backend->playerEvents().events(); }

    std::shared_ptr<demohost::EmbeddedBackend> backend;
    demohost::Options options;
    RecordingTimeline timeline;
};

TEST_F(DemoHostRun, PlaysTheProtectedAssetToItsEndWithKeyRenewalsAndEventsSentWithFreshTokens) {
    // Entitlement tokens that are due for refresh during the run: every tick must ask for the current one.
    backend->entitlement().setTokenLifetime(100);
    const auto clockBefore = dispatch::Clock::current();

    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    EXPECT_EQ(dispatch::Clock::current(), clockBefore) << "the run puts the clock in force back";

    // The timeline: sign-in, stream, keys before the first tick, renewals while playing, the end.
    const auto& e = timeline.events;
    ASSERT_GE(e.size(), 8u);
    EXPECT_EQ(e.front().kind, Kind::backend);
    EXPECT_EQ(e[1].kind, Kind::signedIn);
    EXPECT_NE(e[1].text.find("demo@lumora.dev"), std::string::npos);
    EXPECT_EQ(e[2].kind, Kind::streamChosen);
    EXPECT_NE(e[2].text.find("FairPlay-protected"), std::string::npos);
    EXPECT_LT(timeline.first(Kind::keyFetched), timeline.first(Kind::playbackStarted));
    EXPECT_GE(timeline.count(Kind::keyRenewed), 1u) << timeline.dump();
    EXPECT_LT(timeline.first(Kind::playbackStarted), timeline.first(Kind::playbackEnded));
    EXPECT_EQ(e.back().kind, Kind::finished);
    EXPECT_EQ(timeline.count(Kind::failed), 0u);
    // The clock ran accelerated: two minutes of stream in far less real time.
    EXPECT_GE(e.back().clockSeconds, 120.0);
    EXPECT_LT(e.back().realSeconds, e.back().clockSeconds / 10);
    ASSERT_FALSE(timeline.positions.empty());
    EXPECT_DOUBLE_EQ(timeline.positions.back().first, 120.0);

    // Events: "str_start" #1, a "period" for every interval, "end" last, numbered without gaps (answers
    // may come back out of order).
    auto sent = timeline.sent();
    ASSERT_GE(sent.size(), 5u) << timeline.dump();
    std::sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.eventNumber < b.eventNumber; });
    EXPECT_EQ(sent.front().playerEvent, "str_start");
    EXPECT_EQ(sent.back().playerEvent, "end");
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].eventNumber, static_cast<std::int64_t>(i + 1));
    EXPECT_GE(std::count_if(sent.begin(), sent.end(), [](const auto& s) { return s.playerEvent == "period"; }), 3);
    std::size_t endIndex = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind == Kind::eventSent && e[i].playerEvent == "end") endIndex = i;
    }
    EXPECT_GT(endIndex, timeline.first(Kind::playbackEnded));

    // The back end saw the same events, all accepted, each with a valid entitlement token; the token
    // changed as it came due, so the ticks did not reuse the play request's token.
    const auto received = events();
    ASSERT_EQ(received.size(), sent.size());
    std::set<std::string> tokens;
    for (const auto& r : received) {
        EXPECT_EQ(r.status, 200) << r.rawBody;
        EXPECT_EQ(r.viewer, "acc-demo-0001");
        ASSERT_TRUE(r.authorization && r.authorization->starts_with("Bearer "));
        const std::string token = r.authorization->substr(7);
        EXPECT_TRUE(backend->entitlement().verify(token)) << r.playerEvent;
        tokens.insert(token);
    }
    auto byNumber = [&](std::int64_t n) {
        auto it = std::find_if(received.begin(), received.end(), [&](const auto& r) { return r.eventNumber == n; });
        return it == received.end() ? std::string() : it->playerEvent;
    };
    EXPECT_EQ(byNumber(1), "str_start");
    EXPECT_EQ(byNumber(static_cast<std::int64_t>(received.size())), "end");
    EXPECT_GE(tokens.size(), 2u);
    EXPECT_GE(backend->licence().keysServed(), 4);  // two keys, and their renewals
}

TEST_F(DemoHostRun, ASecondSessionOfTheViewerHitsTheStreamLimitAndSignsTheViewerOut) {
    options.secondSession = true;
    ASSERT_EQ(run(), ExitStatus::streamLimitReached) << timeline.dump();

    EXPECT_LT(timeline.first(Kind::secondSession), timeline.first(Kind::eventRefused));
    const auto& refused = timeline.events[timeline.first(Kind::eventRefused)];
    EXPECT_EQ(refused.playerEvent, "str_start");
    EXPECT_EQ(refused.eventNumber, 1);
    EXPECT_LT(timeline.first(Kind::eventRefused), timeline.first(Kind::signedOut));
    ASSERT_EQ(timeline.events.back().kind, Kind::failed);
    EXPECT_EQ(timeline.events.back().status, ExitStatus::streamLimitReached);
    EXPECT_NE(timeline.events.back().text.find("Max number of active streams for this subscription is reached"),
              std::string::npos);
    EXPECT_EQ(timeline.count(Kind::playbackEnded), 0u);
    EXPECT_FALSE(lumora::ZuAuthManager::shared().isAuthenticated());

    // The other device's session was accepted first; this device's was refused and opened nothing.
    const auto received = events();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0].status, 200);
    EXPECT_NE(received[0].session.find("lumora-demo-second-device"), std::string::npos);
    EXPECT_EQ(received[1].status, 403);
    EXPECT_EQ(backend->playerEvents().activeSessions("acc-demo-0001").size(), 1u);
}

TEST_F(DemoHostRun, AWrongPasswordFailsTheSignInBeforeAnyPlayRequest) {
    options.password = "not-the-password";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();
    ASSERT_EQ(timeline.events.back().kind, Kind::failed);
    EXPECT_NE(timeline.events.back().text.find("Wrong email or password"), std::string::npos) << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::signedIn), 0u);
    EXPECT_TRUE(backend->server().requestLog().entries("/api/v3/play").empty());
}

TEST_F(DemoHostRun, AnUnknownAssetAndAnInactiveAccountAreRefusedWithClearMessages) {
    options.assetId = "unknown-asset";
    ASSERT_EQ(run(), ExitStatus::assetRefused) << timeline.dump();
    const std::string refusal = timeline.events.back().text;
    EXPECT_NE(refusal.find("\"unknown-asset\""), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("Stream not available"), std::string::npos) << refusal;
    EXPECT_EQ(backend->server().requestLog().entries("/api/v3/play").size(), 1u);
    EXPECT_TRUE(events().empty());

    timeline = RecordingTimeline();
    options.assetId = "vod-protected";
    options.email = "inactive@lumora.dev";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();
    EXPECT_NE(timeline.events.back().text.find("inactive"), std::string::npos) << timeline.dump();
    EXPECT_EQ(backend->server().requestLog().entries("/api/v3/play").size(), 1u);
}

TEST_F(DemoHostRun, AnotherBackEndCannotBeTakenOnceTheKitIsSetUpInThisProcess) {
    options.password = "not-the-password";
    ASSERT_EQ(run(), ExitStatus::signInFailed) << timeline.dump();  // sets the kit up for the embedded back end

    const auto plist = fs::temp_directory_path() / ("lumora-demo-other-" + std::to_string(::getpid()) + ".plist");
    std::ofstream(plist) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SDK_PlayServiceURL</key>"
                         << "<string>http://127.0.0.1:9</string></dict></plist>";
    timeline = RecordingTimeline();
    options.backendPlist = plist.string();
    EXPECT_EQ(run(), ExitStatus::backendFailed);
    fs::remove(plist);
    ASSERT_EQ(timeline.events.size(), 1u);
    EXPECT_NE(timeline.events[0].text.find("already set up for " + backend->baseURL()), std::string::npos)
        << timeline.events[0].text;
}

TEST_F(DemoHostRun, ARefusedLicenceEndsTheRunWithoutPlaying) {
    backend->licence().setEntitled("acc-demo-0001", false);
    ASSERT_EQ(run(), ExitStatus::licenceRefused) << timeline.dump();
    EXPECT_NE(timeline.events.back().text.find("licence refused"), std::string::npos) << timeline.dump();
    EXPECT_EQ(timeline.count(Kind::playbackStarted), 0u);
    EXPECT_EQ(timeline.count(Kind::keyFetched), 0u);
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
        const std::string& text = timeline.events.back().text;
        EXPECT_NE(
            text.find("the FairPlay certificate at " + backend->baseURL() + "/fairplay/certificate could not be used"),
            std::string::npos)
            << timeline.dump();
        EXPECT_EQ(text.find("licence server would not give"), std::string::npos) << text;
        EXPECT_EQ(backend->server().requestLog().entries("/fairplay/license").size(), 0u);
        EXPECT_EQ(backend->licence().keysServed(), 0);
    }
}

TEST_F(DemoHostRun, TheTimelineSaysHowEachPlayerEventWasAnswered) {
    // The kit counts an error status and a lost answer as delivered; the timeline tells them apart.
    backend->server().injectFault("/api/v1/player-events", {.status = 500, .times = 1});
    backend->server().injectFault("/api/v1/player-events", {.cutBodyAfter = 10, .times = 1});
    ASSERT_EQ(run(), ExitStatus::success) << timeline.dump();
    const auto sent = timeline.sent();
    ASSERT_GE(sent.size(), 3u) << timeline.dump();
    EXPECT_EQ(sent[0].text.rfind("event answered 500: str_start #1 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[0].text.find("counted as delivered"), std::string::npos) << sent[0].text;
    EXPECT_EQ(sent[1].text.rfind("event not answered: period #2 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[1].text.find("The network connection was lost"), std::string::npos) << sent[1].text;
    EXPECT_EQ(sent[2].text.rfind("event sent: period #3 at", 0), 0u) << timeline.dump();
    EXPECT_NE(sent[2].text.find("answered 200)"), std::string::npos) << sent[2].text;
}

TEST_F(DemoHostRun, AStepWithoutProgressTimesOutNamingTheStep) {
    // At 1x: the kit's own request time-outs run on the clock too and would end a slow request first at 600x.
    // The bound is long enough for the steps before it to make progress on a loaded machine, and far
    // shorter than the play service's delay.
    backend->server().injectFault("/api/v3/play", {.delay = std::chrono::seconds(20)});
    options.speed = 1;
    options.timeoutSeconds = 3;
    ASSERT_EQ(run(), ExitStatus::timedOut) << timeline.dump();
    EXPECT_NE(timeline.events.back().text.find("asking the play service"), std::string::npos) << timeline.dump();
}

TEST(DemoHostArguments, DefaultsFlagsAndErrors) {
    auto defaults = demohost::parseArguments({});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->email, "demo@lumora.dev");
    EXPECT_EQ(defaults->password, "lumora-demo");
    EXPECT_EQ(defaults->assetId, "vod-protected");
    EXPECT_EQ(defaults->speed, 60);
    EXPECT_FALSE(defaults->backendPlist);
    EXPECT_FALSE(defaults->secondSession);

    auto all = demohost::parseArguments({"--email", "a@b.c", "--password=p w", "--asset", "vod-clear", "--speed=600",
                                         "--backend-plist", "/x/Info.plist", "--second-session", "--timeout", "2.5"});
    ASSERT_TRUE(all) << all.error();
    EXPECT_EQ(all->email, "a@b.c");
    EXPECT_EQ(all->password, "p w");
    EXPECT_EQ(all->assetId, "vod-clear");
    EXPECT_EQ(all->speed, 600);
    EXPECT_EQ(all->backendPlist, "/x/Info.plist");
    EXPECT_TRUE(all->secondSession);
    EXPECT_EQ(all->timeoutSeconds, 2.5);
    EXPECT_TRUE(demohost::parseArguments({"-h"})->help);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--speed", "0"},
                                                                                     {"--speed", "1001"},
                                                                                     {"--speed", "fast"},
                                                                                     {"--speed", "nan"},
                                                                                     {"--speed"},
                                                                                     {"--email"},
                                                                                     {"--email="},
                                                                                     {"--timeout", "-1"},
                                                                                     {"--second-session=yes"},
                                                                                     {"--bogus"},
                                                                                     {"vod-clear"}}) {
        auto parsed = demohost::parseArguments(bad);
        EXPECT_FALSE(parsed) << bad.front();
        if (!parsed) {
            EXPECT_FALSE(parsed.error().empty());
        }
    }
    const std::string help = demohost::usage();
    for (const char* flag : {"--email", "--password", "--asset", "--speed", "--backend-plist", "--second-session",
                             "--timeout", "--help", "demo@lumora.dev", "lumora-demo"}) {
        EXPECT_NE(help.find(flag), std::string::npos) << flag;
    }
}

// What the console sink writes, on a terminal and in a pipe.
std::string written(bool terminal, const std::function<void(demohost::ConsoleTimeline&)>& use,
                    std::string* errors = nullptr) {
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    {
        demohost::ConsoleTimeline console(out, err, terminal);
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

TEST(DemoHostConsole, ABarOnATerminalAndPlainLinesElsewhere) {
    auto play = [](demohost::ConsoleTimeline& c) {
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

    EXPECT_EQ(demohost::ConsoleTimeline::stamp(3725.04), "1:02:05.0");
    EXPECT_EQ(demohost::ConsoleTimeline::progressBar(10, 0, 4), "[~~~~]  00:10 (live)");
    EXPECT_EQ(demohost::ConsoleTimeline::progressBar(500, 120, 4), "[####]  08:20 / 02:00  100%");
}

TEST(DemoHostClock, TheScaledClockContinuesFromThePreviousReadingsAndScalesWaits) {
    dispatch::ManualClock previous;
    previous.set(std::chrono::seconds(100));
    auto clock = demohost::ScaledClock::continuing(previous, 60);
    EXPECT_GE(clock->now(), std::chrono::seconds(100));
    EXPECT_GE(clock->wallNow(), previous.wallNow());
    EXPECT_EQ(clock->speed(), 60);
    // A minute of clock time is about a second of real time; the past needs none.
    const auto wait = clock->realDurationUntil(clock->now() + std::chrono::seconds(60));
    EXPECT_LE(wait, std::chrono::seconds(1) + std::chrono::milliseconds(1));
    EXPECT_GT(wait, std::chrono::milliseconds(900));
    EXPECT_EQ(clock->realDurationUntil(std::chrono::seconds(0)), std::chrono::nanoseconds(0));
    EXPECT_EQ(demohost::ScaledClock(std::nan(""), {}).speed(), 1);
    EXPECT_EQ(demohost::ScaledClock(-3, {}).speed(), 1);
}

#ifdef LUMORA_DEMO_PROGRAM
// The program, as `make demo` runs it, against a back end named by a host property list.
struct ProgramResult {
    int status = -1;
    std::string output;
};

ProgramResult runProgram(const std::string& arguments) {
    ProgramResult result;
    const std::string command = std::string(LUMORA_DEMO_PROGRAM) + " " + arguments + " 2>&1";
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
    auto started = demohost::startEmbeddedBackend();
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
    // At 100x, as the in-process runs: a loaded machine still has time for each request.
    const auto result = runProgram("--backend-plist " + plist.string() + " --speed 100 --asset vod-clear --timeout 8");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("back end: from " + plist.string() + " (play service " + base), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("playback ended at 02:00"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(": end #"), std::string::npos) << result.output;  // delivered, however answered
    EXPECT_EQ(result.output.find('\r'), std::string::npos) << "no progress bar in a pipe";
    EXPECT_GE(backend->playerEvents().events().size(), 5u);
    backend->stop();
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
