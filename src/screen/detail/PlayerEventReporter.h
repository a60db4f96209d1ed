#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/ZuPlayer.h"
#include "playservice/AccessTokenSource.h"
#include "playservice/AssetStreamContent.h"
#include "rx/Disposables.h"
#include "telemetry/PlayerEventController.h"

namespace lumora::detail {

// The player screen's side of the player-event session: "str_start" when a loaded stream starts (with the
// token the play request was made with), "period" on every tick of the content's event interval and "end"
// when the item has played to its end or the screen moves to another stream (each with a fresh token from
// the sign-in stack), every record filled from the media player at that moment. A refusal of the service
// (too many streams at once) signs the viewer out and then tells the screen; any other failure of an event
// is logged and left alone.
//
// Events go out in the order they were made, and nothing made after a session's end goes out before the
// service has answered that end: the next stream's start never reaches the service while the previous
// stream still counts there.
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
    // The end of the item: an "end" event with a fresh token, which is the session's end (a later
    // `endSession` sends no second one).
    void sendPlayerEndEvent();
    // Before another stream is loaded: the running session (one whose start event was made) ends with an
    // "end" event recorded now, from the content and player of the ending stream, and sent with a fresh
    // token; its interval stops and its events still waiting for a token are dropped. Events made later
    // wait until the service has answered the end (or it could not be sent).
    void endSession();

    // Records built so far (the number of the last one).
    std::int64_t playerEventIntervalCount() const { return playerEventIntervalCount_; }

  private:
    // An event on its way out, in the order made. An end of a session holds back what follows it until
    // the service has answered; it is not ready while its token is awaited.
    struct Outgoing {
        PlayerEventKind kind;
        PlayerEventData data;
        bool endsSession = false;
        bool ready = true;
    };

    PlayerEventReporter(Services services, Environment environment)
        : services_(std::move(services)), environment_(std::move(environment)) {}

    // Queues the event behind those made before it and sends what may go.
    void postPlayerEvent(PlayerEventKind kind, const PlayerEventData& data);
    void sendQueued();
    // Posts one event; `answered` runs once the service has answered (or the event could not be sent).
    void send(const Outgoing& event, std::function<void()> answered);
    void sendPeriodicPlayerEvent();
    // Asks for a fresh token and sends `kind` with it on the main queue (not once the session has ended).
    void sendWithFreshToken(PlayerEventKind kind);
    // Asks for a fresh token and hands it (nothing when nobody is signed in) to `onToken` on the main queue,
    // or the failure to get one to `onError`.
    void withFreshToken(std::function<void(const std::optional<std::string>&)> onToken,
                        std::function<void(const foundation::Error&)> onError);
    void sendPlayerEvent(PlayerEventKind kind, const std::optional<std::string>& token);
    void stopInterval();

    Services services_;
    Environment environment_;
    std::int64_t playerEventIntervalCount_ = 0;
    // Counts the sessions begun and ended: a token that comes back for an earlier one sends nothing.
    std::uint64_t session_ = 0;
    // Whether the current stream's start event was made (and its end is still to come).
    bool sessionStarted_ = false;
    // Events not sent yet, and whether an end sent before them is still unanswered. Main queue only.
    std::vector<std::shared_ptr<Outgoing>> outgoing_;
    bool awaitingEnd_ = false;
    // The running interval, if any (also held by the bag).
    std::optional<rx::Disposable> interval_;
    // Event sends, token look-ups and intervals; they end with the reporter.
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora::detail
