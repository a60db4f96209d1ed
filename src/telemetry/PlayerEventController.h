#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "alamofire/Session.h"
#include "foundation/DateFormatter.h"
#include "kitfoundation/networking/NetworkRequest.h"
#include "playservice/PlayerEventRequest.h"
#include "rx/Observable.h"

// Player events: one report of a playback session to the service's player-event back end.
//
//   auto controller = lumora::PlayerEventController::create();      // once, for the player screen's life
//   lumora::PlayerEventData data{.state = lumora::PlayerEventState::playing, ..., .auth0Token = token};
//   controller->makeEventBody(lumora::PlayerEventKind::period, data)
//       .observeOn(rx::MainScheduler::asyncInstance())
//       .take(1)
//       .subscribe({}, [](const foundation::Error& e) { /* e.is<ConcurrencyError>(): too many streams */ })
//       .disposed(bag);
//
// The answer only matters by its status: 403 fails the observable with ConcurrencyError::defaultError;
// every other outcome (any other status, an undecodable answer, a transport failure, a time-out, a
// request refused before sending) gives one element and completion. All of it arrives on the main queue.
namespace lumora {

// The player's state at an event; the raw value is what the body carries.
class PlayerEventState {
  public:
    enum Case { playing, pause, stop };

    constexpr PlayerEventState(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }         // NOLINT(google-explicit-constructor)

    // "playing", "pause", "stop".
    std::string rawValue() const;
    // Exactly those three texts (letter case counts); nothing for any other.
    static std::optional<PlayerEventState> fromRawValue(std::string_view rawValue);

  private:
    Case value_;
};

// The kind of event; the raw value is the wire name the body carries as `client.playerEvent`.
class PlayerEventKind {
  public:
    enum Case { period, end, error, start };

    constexpr PlayerEventKind(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }        // NOLINT(google-explicit-constructor)

    // "period", "end", "error", "str_start".
    std::string rawValue() const;
    static std::optional<PlayerEventKind> fromRawValue(std::string_view rawValue);

  private:
    Case value_;
};

// What the player screen hands in for one event.
struct PlayerEventData {
    PlayerEventState state = PlayerEventState::playing;
    // Carried, not read: the body's live or on-demand block follows the template.
    bool isLive = false;
    // The playhead in seconds; the on-demand position when the template has an on-demand block.
    std::optional<float> vodPosition;
    bool liveResumePossible = false;
    std::optional<bool> isOnLiveEdge;
    std::int64_t eventNumber = 0;
    // Where the event is posted (http or https only).
    std::string playerEventUrl;
    // The template from the play response; copied and filled for every event.
    PlayerEventRequest::Body playerEventBody;
    // The viewer's access token, sent as "Authorization: Bearer <token>".
    std::string auth0Token;
    // The manifest URL of the stream being played.
    std::string streamUrl;
};

class PlayerEventController {
  public:
    // The largest answer taken, in bytes: the answer is not used, only its status; a larger one is cut
    // off as it arrives, its status still read (a 403 is the stream limit; anything else counts as
    // delivered).
    static constexpr std::size_t maximumResponseSize = kMaximumJSONResponseSize;

    // What the controller takes from its surroundings. `current()` is worked out once per process.
    struct Dependencies {
        // The HTTP session events are posted through (the shared session by default).
        std::shared_ptr<alamofire::Session> session;
        // This installation's identifier (upper-case UUID text); nothing: "unknown".
        std::optional<std::string> deviceId;
        // The operating system's name and version, as `client.envPlatform` and `client.envVersion`.
        std::string platformName;
        std::string systemVersion;

        static const Dependencies& current();
    };

    static std::shared_ptr<PlayerEventController> create();
    static std::shared_ptr<PlayerEventController> create(Dependencies dependencies);

    // Formats the body's timestamp: "yyyy-MM-dd'T'HH:mm:ss.SSS" in UTC, Gregorian calendar and POSIX
    // conventions whatever the host's locale. Made on the process's first use, then kept and shared by every
    // controller.
    const foundation::DateFormatter& dateFormatter();

    // The event body filled from the template and `data` (the timestamp is the one clock's wall time of
    // this call), and a cold observable that posts it on each subscription. Disposing a subscription does
    // not cancel a request under way.
    //
    // An on-demand position that is not finite goes out as an absent one does ("0.0"). A body that cannot
    // be written faithfully (a template's on-demand duration that is not finite), an event URL that is not
    // an http(s) URL, or a token holding a line break or another control character: nothing is sent, and
    // that counts as delivered (one element, then completion, on the main queue).
    rx::Observable<rx::Void> makeEventBody(PlayerEventKind kind, const PlayerEventData& data);

    PlayerEventController(const PlayerEventController&) = delete;
    PlayerEventController& operator=(const PlayerEventController&) = delete;

  private:
    explicit PlayerEventController(Dependencies dependencies) : dependencies_(std::move(dependencies)) {}

    Dependencies dependencies_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::PlayerEventState> {
    std::size_t operator()(lumora::PlayerEventState state) const noexcept {
        return std::hash<std::string>()(state.rawValue());
    }
};
