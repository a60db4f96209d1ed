#include "DemoRun.h"

#include <chrono>
#include <set>
#include <thread>

#include "Screenshots.h"
#include "ScriptedViewer.h"
#include "SecondSession.h"
#include "TimelineWatch.h"
#include "alamofire/Session.h"
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "avfoundation/AVPlayer.h"
#include "combine/Combine.h"
#include "demo_host/DemoHost.h"
#include "dispatch/RunLoop.h"
#include "dispatch/Timer.h"
#include "foundation/Error.h"
#include "foundation/JSON.h"
#include "foundation/URLError.h"
#include "playback/DRMError.h"
#include "playservice/ConcurrencyError.h"
#include "playservice/VideoError.h"
#include "screen/ZuPlayerViewController.h"
#include "signin/LoginViewController.h"
#include "telemetry/PlayerEventController.h"
#include "uikit/UINavigationController.h"
#include "uikit/UIWindow.h"

namespace demoharness::detail {

namespace {

using RealClock = std::chrono::steady_clock;
using Kind = TimelineEvent::Kind;

// How often the run looks at the screen (clock seconds): progress, keys, beacons, the viewer's steps.
constexpr double kTickInterval = 0.25;
// The receiver the viewer casts to.
constexpr const char* kCastDevice = "Living Room TV";
// Clock seconds a player event waits for its answer, as the kit's own session does.
const double kPlayerEventTimeout = foundation::URLSessionConfiguration::default_().timeoutIntervalForRequest;
// Clock seconds a failure may take to come on screen before the run ends without waiting further.
constexpr double kFailureShownWithin = 10;

// Holds the clock still while the main thread is busy with work of the run's own.
class ClockHold {
  public:
    explicit ClockHold(ScaledClock& clock) : clock_(clock) { clock_.pause(); }
    ~ClockHold() { clock_.resume(); }
    ClockHold(const ClockHold&) = delete;
    ClockHold& operator=(const ClockHold&) = delete;

  private:
    ScaledClock& clock_;
};

// What a failure of a service comes to, read from the error the kit says happened underneath.
enum class Cause { timedOut, unreachable, unreadable, other };
Cause causeOf(const std::optional<foundation::Error>& error) {
    if (!error) return Cause::other;
    if (foundation::URLError::is(*error, foundation::URLError::timedOut)) return Cause::timedOut;
    if (error->is<foundation::DecodingError>()) return Cause::unreadable;
    if (error->domain() == foundation::URLError::domain) {
        switch (error->code()) {
            case foundation::URLError::cannotFindHost:
            case foundation::URLError::cannotConnectToHost:
            // The kit's `NetworkError` keeps a connection lost apart from none made; for the exit both are a
            // service that stopped being reachable.
            case foundation::URLError::networkConnectionLost:
            case foundation::URLError::secureConnectionFailed:
            case foundation::URLError::serverCertificateUntrusted:
                return Cause::unreachable;
            case foundation::URLError::badServerResponse:
            case foundation::URLError::cannotParseResponse:
            case foundation::URLError::dataLengthExceedsMaximum:
                return Cause::unreadable;
            default:
                return Cause::other;
        }
    }
    // An answer that names no stream (`MapError`) was read: the service gave no stream, a refusal.
    return Cause::other;
}

// How the lines name one road of requests whose failure `causeOf` reads.
struct Road {
    std::string request;     // "play", "licence"
    std::string server;      // "the play service", "the licence server"
    std::string subject;     // " for asset \"x\"", or nothing
    std::string detail;      // the kit's text, as the line ends with it: ": ...", " (...)"
    std::string screenshot;  // the picture's name
};

// The DRM failure inside an error of the media player (the item's error wraps the key loader's).
std::optional<lumora::DRMError> drmErrorIn(const foundation::Error& error) {
    if (const auto* drm = error.as<lumora::DRMError>()) return *drm;
    if (error.domain() == lumora::DRMError::errorDomain) return lumora::DRMError::fromRawValue(error.code());
    if (const auto* ns = error.as<foundation::NSError>()) {
        if (ns->domain == lumora::DRMError::errorDomain) return lumora::DRMError::fromRawValue(ns->code);
        if (ns->underlying) return drmErrorIn(*ns->underlying);
    }
    return std::nullopt;
}

// The run: it starts the example host, hears what the host and the screen tell it, lets the scripted viewer
// use the window, and writes the timeline and the pictures.
class Run final : public DemoRun, public demohost::DemoHostListener, public std::enable_shared_from_this<Run> {
  public:
    explicit Run(RunSetup setup)
        : setup_(std::move(setup)),
          options_(setup_.options),
          sink_(*setup_.sink),
          clock_(setup_.clock),
          clockStart_(clock_->now()),
          realStart_(RealClock::now()),
          timeline_(setup_.backend, [this](TimelineEvent event) { record(std::move(event)); }) {
        if (!options_.screenshotsDirectory.empty()) album_.emplace(options_.screenshotsDirectory);
        // The screen's player events go through a session whose monitor tells how each was answered.
        auto dependencies = lumora::PlayerEventController::Dependencies::current();
        auto configuration = foundation::URLSessionConfiguration::default_();
        configuration.timeoutIntervalForRequest = kPlayerEventTimeout;
        dependencies.session = alamofire::Session::create(configuration, nullptr, {timeline_.requests()});
        eventController_ = lumora::PlayerEventController::create(std::move(dependencies));
    }

    void setDeadlineWatch(DeadlineWatch* watch) override { deadlineWatch_ = watch; }
    ExitStatus status() const override { return status_; }
    bool isDone() const override { return done_; }

    void start() override {
        if (done_) return;  // interrupted before it began
        realStart_ = RealClock::now();
        clockStart_ = clock_->now();
        report(Kind::backend, setup_.backendText);
        if (options_.secondSession) {
            setStage("starting a second session on another device");
            secondSession_ = SecondSession::start(options_.email, options_.password, options_.assetId,
                                                  {.say =
                                                       [w = weak()](const std::string& line) {
                                                           if (auto self = w.lock())
                                                               self->report(Kind::secondSession, line);
                                                       },
                                                   .done =
                                                       [w = weak()] {
                                                           if (auto self = w.lock()) self->openScreen();
                                                       }});
        } else {
            // The demo starts signed out: a sign-in kept from an earlier run of this process goes.
            setStage("signing out any earlier viewer");
            lumora::ZuAuthManager::shared().logout([w = weak()](std::expected<void, foundation::Error>) {
                dispatch::DispatchQueue::main().async([w] {
                    if (auto self = w.lock()) self->openScreen();
                });
            });
        }
    }

    void interrupt() override { fail(ExitStatus::interrupted, "interrupted while " + stage_); }

    void timedOut() override {
        fail(ExitStatus::timedOut,
             "timed out: no progress for " + fixed(options_.timeoutSeconds, 0) + " s of real time while " + stage_);
    }

    void cleanUp() override {
        playingObservation_.invalidate();
        if (ticker_) ticker_->invalidate();
        ticker_.reset();
        adEvents_.clear();
        timeline_.requests()->uninstall();
        viewer_.reset();
        if (host_) host_->tearDown();
        host_.reset();
        secondSession_.reset();
    }

    // ---- What the screen tells its host, passed on by the host ----

    void playerControllerDidPresentLogin(lumora::ZuPlayerViewController& controller) override {
        report(Kind::loginPresented, "login screen presented: nobody is signed in");
        auto navigation =
            std::dynamic_pointer_cast<uikit::UINavigationController>(controller.presentedViewController());
        auto login = navigation
                         ? std::dynamic_pointer_cast<lumora::LoginViewController>(navigation->topViewController())
                         : nullptr;
        if (!login) {
            fail(ExitStatus::signInFailed, "the login screen was presented but could not be found");
            return;
        }
        setStage("signing in as " + options_.email);
        ClockHold hold(*clock_);
        viewer_->signIn(login, options_.email, options_.password);
    }

    void playerControllerDidLoginSuccessfully(lumora::ZuPlayerViewController&) override {
        std::string text = "signed in as " + options_.email;
        if (auto manager = lumora::LumoraAuthManager::shared().authManager()) {
            if (auto account = manager->currentAccount()) {
                text += " (account " + account->id() + ", " + account->status().rawValue() + ")";
            }
        }
        report(Kind::signedIn, std::move(text));
        setStage("asking the play service for \"" + options_.assetId + "\"");
    }

    void playerControllerDidFailLoginWith(lumora::ZuPlayerViewController&, const foundation::Error& error) override {
        std::string text = "sign-in failed for " + options_.email + ": " + error.localizedDescription();
        if (const auto* auth = error.as<lumora::AuthenticationError>()) {
            if (auth->isInactiveAccount() || auth->isIncompleteAccount()) {
                text = "sign-in refused for " + options_.email + ": " + error.localizedDescription();
            }
        }
        screenshot("sign-in-failed", "The login screen's alert after a failed sign-in");
        fail(ExitStatus::signInFailed, std::move(text));
    }

    void playerControllerDidFailWith(lumora::ZuPlayerViewController& controller,
                                     const foundation::Error& error) override {
        // After a refused session the screen signs the viewer out: keys asked for meanwhile fail too, and
        // the stream limit is what the host is told next.
        if (limitReached_ || timeline_.requests()->anyEventRefused()) return;
        if (error.is<lumora::AuthenticationError>()) {
            failShowing(ExitStatus::signInFailed,
                        "sign-in refused for " + options_.email + ": " + error.localizedDescription(),
                        "sign-in-refused", "The host's alert: the account may not play");
            return;
        }
        if (const auto* video = error.as<lumora::VideoError>()) {
            // The kit tells the host one kind of failure; what happened underneath decides the exit.
            const std::string asset = "asset \"" + options_.assetId + "\"";
            if (failFor(causeOf(video->underlyingError()), {.request = "play",
                                                            .server = "the play service",
                                                            .subject = " for " + asset,
                                                            .detail = ": " + error.localizedDescription(),
                                                            .screenshot = "play-failed"})) {
                return;
            }
            failShowing(ExitStatus::assetRefused,
                        asset + " refused by the play service: " + error.localizedDescription(), "asset-refused",
                        "The host's alert: the play service gave no stream for the asset");
            return;
        }
        if (auto drm = drmErrorIn(error)) {
            // The request data is made from the certificate before any licence request: when none was
            // made, the certificate (missing, empty, cut short) is what failed, not the licence server.
            if (*drm == lumora::DRMError::keyExchangeFailed && !timeline_.requests()->anyLicenceRequest()) {
                const auto content = controller.streamContent();
                failShowing(ExitStatus::playbackFailed,
                            "licence not asked for: the FairPlay certificate at " +
                                (content ? content->drmCertificateURLString.value_or("?") : std::string("?")) +
                                " could not be used, so no content key could be requested (" +
                                error.localizedDescription() + ")",
                            "playback-failed", "The host's alert: the stream could not be played");
                return;
            }
            switch (drm->rawValue()) {
                case lumora::DRMError::licenseRefused:
                case lumora::DRMError::keyExchangeFailed:
                    failShowing(ExitStatus::licenceRefused,
                                "licence refused: the licence server would not give the content key (" +
                                    error.localizedDescription() + ")",
                                "licence-refused", "The host's alert: the licence server refused the content key");
                    return;
                case lumora::DRMError::invalidLicenseResponse: {
                    // A licence answer that failed for none of the causes read is one that could not be used.
                    const Cause cause = causeOf(drm->underlying());
                    failFor(cause == Cause::other ? Cause::unreadable : cause,
                            {.request = "licence",
                             .server = "the licence server",
                             .detail = " (" + error.localizedDescription() + ")",
                             .screenshot = "playback-failed"});
                    return;
                }
                default:
                    // No licence request was made: the key address, the token or the licence address failed.
                    failShowing(ExitStatus::playbackFailed, "licence not asked for: " + error.localizedDescription(),
                                "playback-failed", "The host's alert: the stream could not be played");
                    return;
            }
        }
        failShowing(ExitStatus::playbackFailed, "playback failed: " + error.localizedDescription(), "playback-failed",
                    "The host's alert: the stream could not be played");
    }

    void playerControllerDidExceedStreamLimit(lumora::ZuPlayerViewController&) override {
        if (limitReached_) return;
        limitReached_ = true;
        timeline_.reportEventAnswers();  // the refusal itself, if its line has not come yet
        report(Kind::signedOut, "signed out: the subscription's stream limit was reached");
        failShowing(ExitStatus::streamLimitReached,
                    "stream limit reached: " + lumora::ConcurrencyError().localizedDescription(), "stream-limit",
                    "The host's alert over the stopped player: the stream limit was reached");
    }

    void playerControllerDidChangeStatus(lumora::ZuPlayerViewController&, lumora::ZuPlayerStatus status) override {
        if (status == lumora::ZuPlayerStatus::playing && !started_) {
            setStage("waiting for the stream to play");
        } else if (status == lumora::ZuPlayerStatus::ended && !ended_) {
            ended_ = true;
            tick();
            sink_.progress(streamDuration(), streamDuration());
            report(Kind::playbackEnded, "playback ended at " + clockText(streamDuration()));
            // An extra whose answer never came is missing from the whole programme.
            for (auto part : host_->extrasAwaited()) {
                report(Kind::extras, "asset extras: no " + demohost::AssetExtras::name(part) +
                                         ": not answered while the stream played");
            }
            viewer_->ended();
            // The answer may take as long as the kit waits for it before it counts it as not answered.
            setStage("waiting for the end event's answer", kPlayerEventTimeout / clock_->speed());
        }
    }

    void playerControllerDidPressCloseButton(lumora::ZuPlayerViewController&) override {
        report(Kind::viewer, "viewer: pressed Close (the host keeps playing)");
    }

    // ---- What the host did ----

    void hostDidGiveExtras(demohost::AssetExtras::Part part, const demohost::AssetExtras& extras) override {
        if (done_) return;
        if (part == demohost::AssetExtras::Part::keyMoments) viewer_->setKeyMoments(host_->keyMoments());
        if (auto text = extras.describe(); !text.empty()) report(Kind::extras, "asset extras: " + text);
    }

    void hostDidSelectKeyMoment(const lumora::ZuKeyMomentEvent& event) override {
        report(Kind::viewer, "key moment selected: " + event.happening);
    }

  private:
    std::weak_ptr<Run> weak() { return weak_from_this(); }
    const std::shared_ptr<lumora::ZuPlayerViewController>& screen() const { return host_->screen(); }

    // ---- Reporting ----

    void report(Kind kind, std::string text) { record(TimelineEvent{.kind = kind, .text = std::move(text)}); }

    void record(TimelineEvent event) {
        // Titles, names, ids and error texts come from the back end: they reach the terminal only escaped.
        event.text = printable(event.text);
        event.clockSeconds = dispatch::secondsFromNanoseconds(clock_->now() - clockStart_);
        event.realSeconds = std::chrono::duration<double>(RealClock::now() - realStart_).count();
        if (album_) album_->addTimelineLine(ConsoleTimeline::stamp(event.clockSeconds) + "  " + event.text);
        sink_.record(event);
    }

    void screenshot(const std::string& slug, const std::string& caption) {
        if (!album_ || !host_ || !host_->window() || done_) return;
        ClockHold hold(*clock_);
        auto shot = album_->capture(*host_->window(), slug, caption);
        if (!shot) {
            report(Kind::screenshot, "screenshot not written: " + shot.error());
            return;
        }
        sink_.screenshotWritten(*shot);
    }

    // The step under way; it may go `extraSeconds` of real time longer than the time-out without progress.
    void setStage(std::string stage, double extraSeconds = 0) {
        stage_ = std::move(stage);
        armDeadline(extraSeconds);
    }
    void armDeadline(double extraSeconds = 0) {
        if (!deadlineWatch_) return;
        deadline_ = RealClock::now() + std::chrono::duration_cast<RealClock::duration>(
                                           std::chrono::duration<double>(options_.timeoutSeconds + extraSeconds));
        deadlineWatch_->setDeadline(*deadline_);
    }

  public:
    void passTook(RealClock::duration held) override {
        // The clock stood still while the main loop worked: that time is not time without progress.
        if (!deadlineWatch_ || !deadline_ || done_) return;
        *deadline_ += held;
        deadlineWatch_->setDeadline(*deadline_);
    }

  private:
    void fail(ExitStatus status, std::string text) {
        if (done_ || ending_) return;
        record(TimelineEvent{.kind = Kind::failed, .text = std::move(text), .status = status});
        end(status);
    }

    // Ends the run for a request of `road` that failed for `cause`, when that cause decides the exit (timed
    // out, unreachable, unreadable); false for any other cause.
    bool failFor(Cause cause, const Road& road) {
        const std::string alert = "The host's alert: " + road.server;
        switch (cause) {
            case Cause::timedOut:
                failShowing(ExitStatus::timedOut,
                            "the " + road.request + " request" + road.subject + " timed out" + road.detail,
                            road.screenshot, alert + " did not answer in time");
                return true;
            case Cause::unreachable:
                failShowing(ExitStatus::serviceUnreachable,
                            road.server + " could not be reached" + road.subject + road.detail, road.screenshot,
                            alert + " could not be reached");
                return true;
            case Cause::unreadable:
                failShowing(ExitStatus::unreadableAnswer,
                            road.server + "'s answer" + road.subject + " could not be used" + road.detail,
                            road.screenshot, alert + "'s answer could not be used");
                return true;
            case Cause::other:
                return false;
        }
        return false;
    }

    // A failure the host shows the viewer: the run ends with a picture of it once it is on screen (the
    // login screen may still be dismissing itself, the host's alert coming up), or after a bound.
    void failShowing(ExitStatus status, std::string text, std::string slug, std::string caption) {
        if (done_ || ending_) return;
        record(TimelineEvent{.kind = Kind::failed, .text = std::move(text), .status = status});
        ending_ = Ending{.status = status,
                         .slug = std::move(slug),
                         .caption = std::move(caption),
                         .giveUpAt = clock_->now() + std::chrono::duration_cast<dispatch::Nanoseconds>(
                                                         std::chrono::duration<double>(kFailureShownWithin))};
        endOnceFailureShown();
    }

    void endOnceFailureShown() {
        if (!ending_ || done_) return;
        if (!host_->isShowingFailure() && clock_->now() < ending_->giveUpAt) return;
        screenshot(ending_->slug, ending_->caption);
        end(ending_->status);
    }

    void succeed(std::string summary) {
        if (done_ || ending_) return;
        report(Kind::finished, std::move(summary));
        end(ExitStatus::success);
    }

    void end(ExitStatus status) {
        if (done_) return;
        if (album_ && !album_->screenshots().empty()) {
            const auto index = album_->indexPath();
            report(Kind::screenshots, "screenshots: " + std::to_string(album_->screenshots().size()) + " in " +
                                          album_->folder().string() + " (open " + index.string() + ")");
            if (auto written = album_->writeIndex("Lumora demo: " + options_.assetId); !written) {
                report(Kind::screenshots, "screenshot index not written: " + written.error());
            }
        }
        done_ = true;
        status_ = status;
        if (deadlineWatch_) deadlineWatch_->clearDeadline();
        deadline_.reset();
        // Cleaned up once the loop has returned (`runPaced` looks at `isDone()` after every pass): this
        // may run inside a handler of the kit's.
    }

    // ---- The host, and the viewer in front of its window ----

    void openScreen() {
        if (done_) return;
        ClockHold hold(*clock_);
        setStage("asking for \"" + options_.assetId + "\"");
        host_ = demohost::DemoHost::create({.assetId = options_.assetId,
                                            .serviceBase = setup_.serviceBase,
                                            .loopbackLicenceBase = setup_.loopbackLicenceBase,
                                            .services = {.playerEventController = eventController_},
                                            .castDevices = {kCastDevice}},
                                           std::weak_ptr<demohost::DemoHostListener>(shared_from_this()));
        host_->start();
        // Asked before the host's own request protocols (the licence redirect), so it sees every request.
        timeline_.requests()->install();
        viewer_ = ScriptedViewer::create(host_->window(), host_->screen(),
                                         {
                                             .say =
                                                 [w = weak()](const std::string& line) {
                                                     if (auto self = w.lock()) self->report(Kind::viewer, line);
                                                 },
                                             .screenshot =
                                                 [w = weak()](const std::string& slug, const std::string& caption) {
                                                     if (auto self = w.lock()) self->screenshot(slug, caption);
                                                 },
                                             .cast =
                                                 [w = weak()](bool on) {
                                                     if (auto self = w.lock()) self->cast(on);
                                                 },
                                         });
        screen()
            ->player()
            ->playerProxy()
            ->adEventsPublisher()
            .sink([w = weak()](const lumora::AdEvent& event) {
                if (auto self = w.lock()) self->adEvent(event);
            })
            .store(adEvents_);
        ticker_ = dispatch::Timer::scheduledTimer(kTickInterval, true, [w = weak()](dispatch::Timer&) {
            if (auto self = w.lock()) self->tick();
        });
        // The first playing moment is taken as it comes, not at the next tick.
        playingObservation_ = screen()->player()->timeControlStatusProperty().observe(
            foundation::NSKeyValueObservingOptions::new_,
            [w = weak()](const foundation::NSKeyValueObservedChange<lumora::ZuPlayer::TimeControlStatus>& change) {
                auto self = w.lock();
                if (self && !self->started_ && change.newValue == lumora::ZuPlayer::TimeControlStatus::playing) {
                    self->tick();
                }
            });
    }

    // ---- What the run watches ----

    double position() const { return host_ ? playheadOf(screen().get()) : 0; }
    double streamDuration() const { return host_ ? streamDurationOf(screen().get()) : 0; }

    void tick() {
        if (done_ || !host_ || !screen()) return;
        if (ending_) return endOnceFailureShown();
        if (timeline_.noticeStreamContent(*screen())) setStage("loading the stream");
        timeline_.reportKeys();
        timeline_.notePostedEvents(position());
        timeline_.reportEventAnswers();
        timeline_.reportBeacons();
        const auto& avplayer = screen()->player()->avplayer();
        if (!started_ && timeline_.content() && avplayer->currentItem() &&
            avplayer->timeControlStatus() == avfoundation::AVPlayer::TimeControlStatus::playing) {
            started_ = true;
            setStage("playing");
            const double duration = streamDuration();
            report(Kind::playbackStarted, "playback started at " + clockText(position()) +
                                              (duration > 0 ? " of " + clockText(duration) : std::string()));
            if (options_.stopAtFirstPlayingTick) {
                succeed("stopped at the first playing tick");
                return;
            }
        }
        if (started_ && !ended_) {
            const double now = position();
            sink_.progress(now, streamDuration());
            if (now != lastPosition_) {
                lastPosition_ = now;
                armDeadline();
            }
            const auto& proxy = screen()->player()->playerProxy();
            viewer_->playing(proxy->currentTimeWithoutAds(now), proxy->durationWithoutAds(streamDuration()));
        }
        finishWhenEventsAnswered();
    }

    void adEvent(const lumora::AdEvent& event) {
        timeline_.reportAd(event, position());
        if (event.isStart()) viewer_->adStarted(event.ad().title);
    }

    void cast(bool on) {
        if (on) {
            if (auto at = host_->castTo(kCastDevice)) {
                report(Kind::cast, std::string("cast: playing on ") + kCastDevice + " from " + clockText(*at) +
                                       "; the controls drive the receiver");
            }
        } else if (auto at = host_->endCast()) {
            report(Kind::cast, std::string("cast: ") + kCastDevice + " disconnected; playback back on this device at " +
                                   clockText(*at));
        }
    }

    // The run ends once the end event and every event sent before it have their answers.
    void finishWhenEventsAnswered() {
        if (!ended_ || done_) return;
        if (!timeline_.eventsAnswered()) return;
        if (!viewer_->isFinished()) return;
        const double real = std::chrono::duration<double>(RealClock::now() - realStart_).count();
        const auto& content = timeline_.content();
        succeed("finished: played " + clockText(streamDuration()) + " of \"" +
                (content ? content->title : options_.assetId) + "\" in " + fixed(real, 2) + " s of real time (" +
                fixed(clock_->speed(), 0) + "x); " + timeline_.counts());
    }

    RunSetup setup_;
    const Options& options_;
    TimelineSink& sink_;
    std::shared_ptr<ScaledClock> clock_;
    dispatch::Nanoseconds clockStart_;
    RealClock::time_point realStart_;
    DeadlineWatch* deadlineWatch_ = nullptr;
    // When the step under way times out; moved on by the time the main loop held the clock.
    std::optional<RealClock::time_point> deadline_;
    std::string stage_ = "starting";
    bool done_ = false;
    ExitStatus status_ = ExitStatus::success;
    std::optional<ScreenshotAlbum> album_;

    // What the kit did, as the timeline tells it.
    TimelineWatch timeline_;
    std::shared_ptr<lumora::PlayerEventController> eventController_;
    std::shared_ptr<SecondSession> secondSession_;
    std::shared_ptr<demohost::DemoHost> host_;
    std::shared_ptr<ScriptedViewer> viewer_;
    std::shared_ptr<dispatch::Timer> ticker_;
    foundation::NSKeyValueObservation playingObservation_;
    std::set<combine::AnyCancellable> adEvents_;

    // A failure waiting to be shown before the run ends.
    struct Ending {
        ExitStatus status;
        std::string slug;
        std::string caption;
        dispatch::Nanoseconds giveUpAt;
    };
    std::optional<Ending> ending_;
    bool started_ = false;
    bool ended_ = false;
    bool limitReached_ = false;
    double lastPosition_ = -1;
};

}  // namespace

std::shared_ptr<DemoRun> DemoRun::create(RunSetup setup) {
    return std::make_shared<Run>(std::move(setup));
}

void runPaced(ScaledClock& clock, const std::function<bool()>& isDone,
              const std::function<void(std::chrono::steady_clock::duration)>& passTook) {
    auto& loop = dispatch::RunLoop::main();
    // How long one look at the queue may sleep: blocks posted by other threads are picked up this soon.
    constexpr auto kSlice = std::chrono::microseconds(200);
    while (!isDone()) {
        const auto passStart = std::chrono::steady_clock::now();
        clock.pause();
        loop.runUntilIdle();
        clock.resume();
        if (passTook) passTook(std::chrono::steady_clock::now() - passStart);
        if (isDone()) break;
        // Wait, with the clock running, until a block is posted or the next timer falls due.
        for (;;) {
            if (loop.pendingBlockCount() > 0 || isDone()) break;
            const auto due = loop.nextTimerDue();
            const auto wait = due ? clock.realDurationUntil(*due) : std::chrono::nanoseconds(kSlice);
            if (wait <= std::chrono::nanoseconds(0)) break;
            std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(wait, kSlice));
        }
    }
}

}  // namespace demoharness::detail
