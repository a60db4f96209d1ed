#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Screenshots.h"

namespace devserver {
class Backend;
}  // namespace devserver

namespace demoharness {

using EmbeddedBackend = devserver::Backend;

// How a run ends; the program's exit status.
enum class ExitStatus : int {
    success = 0,
    // Bad command line.
    usage = 2,
    // The back end could not be started or the host property list is unusable.
    backendFailed = 3,
    // Wrong e-mail or password, an inactive or incomplete account, an unreachable identity provider.
    signInFailed = 4,
    // The play service gave no stream for the asset (unknown asset, not in the subscription...).
    assetRefused = 5,
    // The licence server refused the content key.
    licenceRefused = 6,
    // The player-event service refused the session: too many concurrent streams.
    streamLimitReached = 7,
    // The stream could not be loaded or failed while playing.
    playbackFailed = 8,
    // A step made no progress within the time-out, or a service's request timed out.
    timedOut = 9,
    // A service's answer could not be read or used (malformed, too large, incomplete, redirected).
    unreadableAnswer = 10,
    // A service could not be reached (no connection, connection lost, TLS failure).
    serviceUnreachable = 11,
    // Stopped by interruptDemoHost() (the program: a signal that ends a process, such as SIGINT, SIGTERM,
    // SIGHUP or SIGQUIT).
    interrupted = 130,
};

struct Options {
    std::string email = "demo@lumora.dev";
    std::string password = "lumora-demo";
    // The protected asset with inserted ads, key moments, thumbnails and captions.
    std::string assetId = "vod-protected-ads";
    // Clock speed: a real clock scaled by this factor.
    double speed = 60;
    // Use the back end configured by this host property list instead of the embedded one.
    std::optional<std::string> backendPlist;
    // Before playing, another device of the same viewer starts watching the asset.
    bool secondSession = false;
    // Real seconds any one step (sign-in, play request, loading, a stretch of playback) may take.
    double timeoutSeconds = 30;
    // Where the pictures of the player screen and their index.html go; empty: none are taken.
    // (The program's default is a folder beside it in the build folder.)
    std::string screenshotsDirectory;
    bool help = false;

    // Library use only (no flag).
    // Pixels per point of the device's screen (1 to 3): the pictures are 1024 x 768 points at this scale.
    double screenScale = 2;
    // Ends the run, successfully, at the first tick of the playing player (benchmarks).
    bool stopAtFirstPlayingTick = false;
    // Runs against this already running back end (it must be the one this process is configured for)
    // instead of starting one for the run.
    std::shared_ptr<EmbeddedBackend> backend;
};

// Parses the program's arguments (without the program name). An error says what is wrong.
std::expected<Options, std::string> parseArguments(const std::vector<std::string>& arguments);
// The text of --help.
std::string usage();

// One line of the timeline.
struct TimelineEvent {
    enum class Kind {
        backend,          // which back end the run uses
        loginPresented,   // the kit presented its login screen
        viewer,           // what the scripted viewer did
        signedIn,         // the viewer is signed in
        secondSession,    // another device started watching (--second-session)
        streamChosen,     // the play service's stream for the asset
        extras,           // the ad breaks, key moments and thumbnails the host gave the screen
        keyFetched,       // the first content key was answered
        keyRenewed,       // a content key was renewed
        playbackStarted,  // the first tick of the playing player
        eventSent,        // a player event was sent and answered
        eventRefused,     // a player event was refused (stream limit)
        adStarted,        // an ad began to be shown
        adFinished,       // an ad ended
        analytics,        // the analytics collector took a beacon (pings are only counted)
        cast,             // casting to the receiver began or ended
        signedOut,        // the viewer was signed out after a refusal
        playbackEnded,    // the player reached the end of the stream
        failed,           // the run failed; `text` says why
        finished,         // the run succeeded; `text` sums it up
        screenshot,       // a picture could not be written
        screenshots,      // where the pictures and their index are (the last line)
    };

    Kind kind;
    // Clock time since the run started (accelerated), and real time since then, in seconds.
    double clockSeconds = 0;
    double realSeconds = 0;
    // The line as printed, without the time stamp.
    std::string text;
    // eventSent / eventRefused: "str_start", "period" or "end", and the event number.
    std::string playerEvent;
    std::int64_t eventNumber = 0;
    // failed: the exit status.
    ExitStatus status = ExitStatus::success;
};

// Where a run reports. Called on the main thread.
class TimelineSink {
  public:
    virtual ~TimelineSink() = default;
    virtual void record(const TimelineEvent& event) = 0;
    // The playhead while the stream plays (seconds; duration 0 when it has none).
    virtual void progress(double position, double duration) {
        (void)position;
        (void)duration;
    }
    // A picture of the player screen was written.
    virtual void screenshotWritten(const Screenshot& screenshot) { (void)screenshot; }
};

// Prints the timeline: one line per event with its clock time stamp, failures also to `err`. On a
// terminal a one-line progress bar is redrawn in place while the stream plays; otherwise progress is a
// plain line at each quarter of the stream.
class ConsoleTimeline final : public TimelineSink {
  public:
    ConsoleTimeline(std::FILE* out, std::FILE* err, bool isTerminal);
    void record(const TimelineEvent& event) override;
    void progress(double position, double duration) override;

    // "mm:ss.s" of clock seconds ("h:mm:ss.s" past an hour).
    static std::string stamp(double seconds);
    // The bar drawn for a position: "[#########-----------]  01:00 / 02:00  50%".
    static std::string progressBar(double position, double duration, int width = 30);

  private:
    void clearBar();

    std::FILE* out_;
    std::FILE* err_;
    bool isTerminal_;
    bool barShown_ = false;
    int lastQuarter_ = 0;
    std::string lastBar_;
};

// `text` as it may be written to a terminal: control characters (C0, DEL and C1) as escapes ("\x1b",
// "\n", "\u009b"), invalid UTF-8 as U+FFFD, everything else as it is. Titles, key-moment names, ad ids and
// error texts come from the back end: every line and message of a run goes through this before it is
// written, so none can move the cursor, clear the screen, retitle the window or start a line of its own.
// Escaping escaped text changes nothing.
std::string printable(std::string_view text);

// Runs the demo host: sets up the back end, shows the kit's player screen in a window and asks it to play
// the asset; a scripted viewer signs in on the kit's login screen and uses the controls while the asset
// plays to its end on the accelerated clock. Reports everything to `sink`. Takes over the main run loop and the
// process's clock for the run (the clock in force before is put back at the end). Returns the exit status.
ExitStatus runDemoHost(const Options& options, TimelineSink& sink);

// Ends the run under way as interrupted, or the next run as soon as it starts when none is (callable from
// any thread, e.g. one waiting for signals).
void interruptDemoHost();

// The program: parses `arguments`, prints help or the timeline to `out`, errors to `err`. Pictures go to
// `defaultScreenshots` unless --screenshots names another folder.
int demoHostMain(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err, bool isTerminal,
                 const std::string& defaultScreenshots = {});

}  // namespace demoharness
