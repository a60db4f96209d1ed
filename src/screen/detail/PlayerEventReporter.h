#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "playback/ZuPlayer.h"
#include "playservice/AccessTokenSource.h"
#include "playservice/AssetStreamContent.h"
#include "rx/Disposables.h"
#include "telemetry/PlayerEventController.h"

namespace lumora::detail {

// The player screen's side of the player-event session: "str_start" when a loaded stream starts (with the
// token the play request was made with), "period" on every tick of the content's event interval and "end"
// when the item has played to its end (each with a fresh token from the sign-in stack), every record
// filled from the media player at that moment. A refusal of the service (too many streams at once) signs
// the viewer out and then tells the screen; any other failure of an event is logged and left alone.
//
// Main thread only: tokens that arrive on another thread are used on a later turn of the main queue.
class PlayerEventReporter : public std::enable_shared_from_this<PlayerEventReporter> {
  public:
    // What the reporter uses to send.
    struct Services {
        std::shared_ptr<PlayerEventController> controller;
        // The viewer's current token, refreshed first when due (per subscription).
        AccessTokenSource accessToken;
        // Signs the viewer out; the completion runs on the main queue whatever the outcome.
        std::function<void(std::function<void()> completion)> logout;
    };
    // What it reads from the screen at each event (the closures hold the screen weakly).
    struct Environment {
        // The content being played; nothing before the first.
        std::function<std::shared_ptr<const AssetStreamContent>()> content;
        // The player view whose media player is reported; nothing once it is gone.
        std::function<std::shared_ptr<ZuPlayer>()> player;
        // Called once per refused event, after the sign-out has completed.
        std::function<void()> streamLimitExceeded;
    };

    static std::shared_ptr<PlayerEventReporter> create(Services services, Environment environment);

    // The record of one event sent with `auth0Token`, counted; nothing (and nothing counted) without
    // content, an event parameter or a player.
    std::optional<PlayerEventData> makePlayerEventData(const std::string& auth0Token);
    // After a successful load: the start event and, when the content's interval is at least one second,
    // the periodic events. An interval started before is stopped first.
    void startPlayerEventInterval();
    // The end of the item: an "end" event with a fresh token.
    void sendPlayerEndEvent();

    // Records built so far (the number of the last one).
    std::int64_t playerEventIntervalCount() const { return playerEventIntervalCount_; }

  private:
    PlayerEventReporter(Services services, Environment environment)
        : services_(std::move(services)), environment_(std::move(environment)) {}

    void postPlayerEvent(PlayerEventKind kind, const PlayerEventData& data);
    void sendPeriodicPlayerEvent();
    // Asks for a fresh token and sends `kind` with it on the main queue.
    void sendWithFreshToken(PlayerEventKind kind);
    void sendPlayerEvent(PlayerEventKind kind, const std::optional<std::string>& token);
    void stopInterval();

    Services services_;
    Environment environment_;
    std::int64_t playerEventIntervalCount_ = 0;
    // The running interval, if any (also held by the bag).
    std::optional<rx::Disposable> interval_;
    // Event sends, token look-ups and intervals; they end with the reporter.
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora::detail
