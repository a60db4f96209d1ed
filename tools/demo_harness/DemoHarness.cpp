#include "DemoHarness.h"

#include <algorithm>
#include <any>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

#include "DemoRun.h"
#include "EmbeddedBackend.h"
#include "ScaledClock.h"
#include "TimelineWatch.h"
#include "demo_host/HostConfiguration.h"
#include "dispatch/RunLoop.h"
#include "uikit/UIScreen.h"

namespace demoharness {

using demohost::HostConfiguration;

namespace {

using detail::clockText;
using detail::fixed;

// The device the demo shows the player screen on: a tablet on its side (the kit's screens turn with the
// device only where both size classes are regular; on a phone they stay upright).
constexpr double kScreenWidth = 1024;
constexpr double kScreenHeight = 768;

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The run under way, for interruptDemoHost(); an interruption that came while there was none waits for
// the next run, which it ends at once (a signal while the back end starts is not lost).
class CurrentRun {
  public:
    void set(const std::shared_ptr<detail::DemoRun>& run) {
        std::lock_guard lock(mutex_);
        run_ = run;
    }
    // The run to interrupt; none: the next run is.
    std::weak_ptr<detail::DemoRun> interrupt() {
        std::lock_guard lock(mutex_);
        if (run_.expired()) interruptNext_ = true;
        return run_;
    }
    // Whether an interruption waits for the run just set (it is taken).
    bool takeWaitingInterruption() {
        std::lock_guard lock(mutex_);
        return std::exchange(interruptNext_, false);
    }

  private:
    std::mutex mutex_;  // guards run_ and interruptNext_
    std::weak_ptr<detail::DemoRun> run_;
    bool interruptNext_ = false;
};

CurrentRun& currentRun() {
    static auto* current = new CurrentRun();  // never destroyed: the signal thread reads it until exit
    return *current;
}

ExitStatus reportSetupFailure(TimelineSink& sink, ExitStatus status, std::string text) {
    sink.record(TimelineEvent{.kind = TimelineEvent::Kind::failed, .text = std::move(text), .status = status});
    return status;
}

}  // namespace

// ---- Command line ----

std::string usage() {
    return R"(usage: lumora-demo [options]

Plays an asset end to end the way a host application uses the Lumora kit: shows the kit's player screen
in a window and asks it to play the asset. The kit presents its login screen, where a scripted viewer
types the e-mail address and password; the kit then asks the play service for the asset, loads the stream
with its FairPlay keys and plays it to the end on an accelerated clock while it reports player events and
analytics. The viewer shows the controls, scrubs, picks a key moment, jumps, switches captions and casts
for a moment. The run prints a timeline and writes pictures of the screen with an index.html. By default
the whole back end runs inside the process on a free loopback port.

options:
  --email ADDRESS        the viewer's e-mail address (default demo@lumora.dev)
  --password TEXT        the viewer's password (default lumora-demo)
  --asset ID             the asset to play (default vod-protected-ads)
  --speed FACTOR         clock speed: real time scaled by FACTOR, at most 1000 (default 60: two minutes take
                         two seconds)
  --screenshots DIR      where the pictures and their index.html go (default: demo-screenshots beside the
                         program, in the build folder)
  --backend-plist PATH   use the back end named by this host property list (SDK_PlayServiceURL,
                         SDK_Auth0Domain, SDK_Auth0ClientId, SDK_EntitlementServiceURL...) instead of the
                         embedded one
  --second-session       another device of the same viewer starts watching first: the stream limit road
  --timeout SECONDS      real seconds any one step may take without progress (default 30)
  -h, --help             show this text

demo accounts (password lumora-demo): demo@lumora.dev (active), inactive@lumora.dev, incomplete@lumora.dev
demo assets: vod-protected-ads, vod-protected, vod-clear, vod-ads, live-1 (plays until interrupted),
             no-stream, err-1006, err-3003

exit status: 0 success, 2 bad command line, 3 back end unusable, 4 sign-in failed, 5 asset refused,
             6 licence refused, 7 stream limit reached, 8 playback failed, 9 timed out,
             10 a service's answer unreadable, 11 a service unreachable, 130 interrupted
)";
}

std::expected<Options, std::string> parseArguments(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string flag = arguments[i];
        std::optional<std::string> inlineValue;
        if (flag.starts_with("--")) {
            if (auto equals = flag.find('='); equals != std::string::npos) {
                inlineValue = flag.substr(equals + 1);
                flag = flag.substr(0, equals);
            }
        }
        auto value = [&]() -> std::expected<std::string, std::string> {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= arguments.size()) return std::unexpected(flag + " needs a value");
            return arguments[++i];
        };
        auto takesNoValue = [&]() -> std::expected<void, std::string> {
            if (inlineValue) return std::unexpected(flag + " takes no value");
            return {};
        };

        if (flag == "-h" || flag == "--help") {
            if (auto ok = takesNoValue(); !ok) return std::unexpected(ok.error());
            options.help = true;
        } else if (flag == "--second-session") {
            if (auto ok = takesNoValue(); !ok) return std::unexpected(ok.error());
            options.secondSession = true;
        } else if (flag == "--email" || flag == "--password" || flag == "--asset" || flag == "--backend-plist" ||
                   flag == "--screenshots") {
            auto text = value();
            if (!text) return std::unexpected(text.error());
            if (text->empty()) return std::unexpected(flag + " needs a value");
            if (flag == "--email") options.email = *text;
            if (flag == "--password") options.password = *text;
            if (flag == "--asset") options.assetId = *text;
            if (flag == "--backend-plist") options.backendPlist = *text;
            if (flag == "--screenshots") options.screenshotsDirectory = *text;
        } else if (flag == "--speed" || flag == "--timeout") {
            auto text = value();
            if (!text) return std::unexpected(text.error());
            auto number = parseNumber(*text);
            if (flag == "--speed") {
                // The kit's network time-outs run on the clock too: far beyond 1000x even loopback answers
                // would come too late.
                if (!number || *number <= 0 || *number > 1000) {
                    return std::unexpected("--speed needs a number above 0 and at most 1000, not \"" + *text + "\"");
                }
                options.speed = *number;
            } else {
                if (!number || *number <= 0 || *number > 86400) {
                    return std::unexpected("--timeout needs a number of seconds above 0, not \"" + *text + "\"");
                }
                options.timeoutSeconds = *number;
            }
        } else {
            return std::unexpected("unknown option \"" + arguments[i] + "\"");
        }
    }
    return options;
}

// ---- Text for the terminal ----

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[16];
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            if (lead == '\n') {
                out += "\\n";
            } else if (lead == '\r') {
                out += "\\r";
            } else if (lead == '\t') {
                out += "\\t";
            } else if (lead < 0x20 || lead == 0x7F) {
                std::snprintf(escape, sizeof escape, "\\x%02x", lead);
                out += escape;
            } else {
                out += static_cast<char>(lead);
            }
            ++i;
            continue;
        }
        // A UTF-8 sequence: its length and the range its second byte must lie in (no overlong forms, no
        // surrogates, nothing past U+10FFFF). Each maximal invalid part becomes one U+FFFD.
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        std::size_t valid = length == 0 ? 0 : 1;
        while (valid > 0 && valid < length && i + valid < size) {
            const unsigned char next = bytes[i + valid];
            if (next < (valid == 1 ? low : 0x80) || next > (valid == 1 ? high : 0xBF)) break;
            ++valid;
        }
        if (length == 0 || valid < length) {
            out += "\xEF\xBF\xBD";
            i += std::max<std::size_t>(valid, 1);
            continue;
        }
        std::uint32_t codePoint = lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) codePoint = codePoint << 6 | (bytes[i + k] & 0x3F);
        if (codePoint >= 0x80 && codePoint <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(codePoint));
            out += escape;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

// ---- Console timeline ----

ConsoleTimeline::ConsoleTimeline(std::FILE* out, std::FILE* err, bool isTerminal)
    : out_(out), err_(err), isTerminal_(isTerminal) {}

std::string ConsoleTimeline::stamp(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const long long tenths = std::llround(seconds * 10);
    const long long whole = tenths / 10;
    char buffer[32];
    if (whole >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", whole / 3600, (whole / 60) % 60, whole % 60,
                      tenths % 10);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld.%lld", whole / 60, whole % 60, tenths % 10);
    }
    return buffer;
}

std::string ConsoleTimeline::progressBar(double position, double duration, int width) {
    if (width < 1) width = 1;
    if (!(duration > 0)) {
        return "[" + std::string(static_cast<std::size_t>(width), '~') + "]  " + clockText(position) + " (live)";
    }
    double fraction = std::clamp(position / duration, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * width);
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(width - filled), '-') + "]  " + clockText(position) + " / " +
                      clockText(duration);
    char percent[16];
    std::snprintf(percent, sizeof percent, "  %3d%%", static_cast<int>(fraction * 100));
    return bar + percent;
}

void ConsoleTimeline::clearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", out_);
    barShown_ = false;
    lastBar_.clear();
}

void ConsoleTimeline::record(const TimelineEvent& event) {
    clearBar();
    // Whoever made the event, its text reaches the terminal escaped.
    const std::string text = printable(event.text);
    std::fprintf(out_, "  %s  %s\n", stamp(event.clockSeconds).c_str(), text.c_str());
    std::fflush(out_);
    if (event.kind == TimelineEvent::Kind::failed) {
        std::fprintf(err_, "lumora-demo: %s\n", text.c_str());
        std::fflush(err_);
    }
}

void ConsoleTimeline::progress(double position, double duration) {
    if (isTerminal_) {
        // Redrawn only when what it shows changes.
        std::string bar = progressBar(position, duration);
        if (barShown_ && bar == lastBar_) return;
        std::fprintf(out_, "\r\033[K  %s", bar.c_str());
        lastBar_ = std::move(bar);
        std::fflush(out_);
        barShown_ = true;
        return;
    }
    if (!(duration > 0)) return;
    const int quarter = static_cast<int>(std::clamp(position / duration, 0.0, 1.0) * 4);
    if (quarter <= lastQuarter_) return;
    lastQuarter_ = quarter;
    std::fprintf(out_, "           progress %3d%%  %s / %s\n", quarter * 25, clockText(position).c_str(),
                 clockText(duration).c_str());
    std::fflush(out_);
}

// ---- The run ----

ExitStatus runDemoHost(const Options& options, TimelineSink& sink) {
    if (!std::isfinite(options.speed) || options.speed <= 0) {
        return reportSetupFailure(sink, ExitStatus::usage, "the clock speed must be a number above 0");
    }
    if (!std::isfinite(options.screenScale) || options.screenScale < 1 || options.screenScale > 3) {
        return reportSetupFailure(sink, ExitStatus::usage, "the screen scale must be a number from 1 to 3");
    }
    if (!std::isfinite(options.timeoutSeconds) || options.timeoutSeconds <= 0) {
        return reportSetupFailure(sink, ExitStatus::usage, "the time-out must be a number of seconds above 0");
    }

    // The back end, and the host settings that point the kit at it.
    std::shared_ptr<EmbeddedBackend> backend;
    std::optional<HostConfiguration> configuration;
    std::string backendText;
    if (options.backendPlist) {
        auto configured = HostConfiguration::fromPropertyList(*options.backendPlist);
        if (!configured) return reportSetupFailure(sink, ExitStatus::backendFailed, configured.error());
        configuration = *configured;
        backendText = "back end: from " + *options.backendPlist + " (play service " + configuration->playServiceURL() +
                      ", identity provider " + configuration->identityProviderURL() + ")";
    } else {
        backend = options.backend;
        if (!backend) {
            // The kit keeps the address of the first run's back end: later runs start theirs on the same port.
            auto started = startEmbeddedBackend({.port = HostConfiguration::embeddedPort().value_or(0)});
            if (!started) return reportSetupFailure(sink, ExitStatus::backendFailed, started.error());
            backend = *started;
        }
        auto configured = HostConfiguration::embedded(backend->baseURL());
        if (!configured) return reportSetupFailure(sink, ExitStatus::backendFailed, configured.error());
        configuration = *configured;
        const auto& o = backend->options();
        backendText = "back end: embedded at " + backend->baseURL() + " (" + std::to_string(o.maxConcurrentStreams) +
                      (o.maxConcurrentStreams == 1 ? " stream" : " streams") + " per viewer, player events every " +
                      fixed(o.eventInterval, 0) + " s, keys renewed every " + o.keyRenewalDuration + " s)";
    }
    // The key addresses name 127.0.0.1 and the kit asks https://127.0.0.1/ for the licence: a local back
    // end answers that at its own plain-http address.
    std::optional<std::string> loopbackLicenceBase =
        backend ? std::optional<std::string>(backend->baseURL()) : configuration->loopbackLicenceBase();

    std::string serviceBase = backend ? backend->baseURL() : configuration->playServiceURL();
    while (serviceBase.ends_with('/')) serviceBase.pop_back();

    // The device the screen is shown on.
    auto previousScreen = uikit::UIScreen::main();
    uikit::UIScreen::setMain(uikit::UIScreen::create(uikit::CGRect(0, 0, kScreenWidth, kScreenHeight),
                                                     options.screenScale, uikit::UIUserInterfaceIdiom::pad));

    // The accelerated clock, for the whole run.
    auto previousClock = dispatch::Clock::current();
    auto clock = ScaledClock::continuing(*previousClock, options.speed);
    dispatch::Clock::setCurrent(clock);
    auto& loop = dispatch::RunLoop::main();
    loop.adoptCurrentThread();

    auto run = detail::DemoRun::create({
        .options = options,
        .sink = &sink,
        .clock = clock,
        .backend = backend,
        .backendText = backendText,
        .serviceBase = serviceBase,
        .loopbackLicenceBase = loopbackLicenceBase,
    });
    std::weak_ptr<detail::DemoRun> weakRun = run;
    DeadlineWatch deadlineWatch([weakRun] {
        dispatch::RunLoop::main().post([weakRun] {
            if (auto r = weakRun.lock()) r->timedOut();
        });
    });
    run->setDeadlineWatch(&deadlineWatch);
    currentRun().set(run);
    loop.post([run] { run->start(); });
    if (currentRun().takeWaitingInterruption()) loop.post([run] { run->interrupt(); });
    detail::runPaced(
        *clock, [&run] { return run->isDone(); },
        [&run](std::chrono::steady_clock::duration held) { run->passTook(held); });
    currentRun().set(nullptr);
    deadlineWatch.stop();
    run->setDeadlineWatch(nullptr);
    run->cleanUp();
    const ExitStatus status = run->status();
    run.reset();

    dispatch::Clock::setCurrent(previousClock);
    uikit::UIScreen::setMain(previousScreen);
    if (!options.backend && backend) backend->stop();
    return status;
}

void interruptDemoHost() {
    auto weak = currentRun().interrupt();
    dispatch::RunLoop::main().post([weak] {
        if (auto run = weak.lock()) run->interrupt();
    });
}

int demoHostMain(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err, bool isTerminal,
                 const std::string& defaultScreenshots) {
    auto options = parseArguments(arguments);
    if (!options) {
        std::fprintf(err, "lumora-demo: %s\n(see lumora-demo --help)\n", printable(options.error()).c_str());
        return static_cast<int>(ExitStatus::usage);
    }
    if (options->help) {
        std::fputs(usage().c_str(), out);
        return 0;
    }
    if (options->screenshotsDirectory.empty()) options->screenshotsDirectory = defaultScreenshots;
    ConsoleTimeline timeline(out, err, isTerminal);
    return static_cast<int>(runDemoHost(*options, timeline));
}

}  // namespace demoharness
