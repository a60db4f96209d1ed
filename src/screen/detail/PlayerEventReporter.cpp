#include "screen/detail/PlayerEventReporter.h"

#include <cmath>
#include <limits>

#include "avfoundation/AVPlayerItem.h"
#include "dispatch/DispatchQueue.h"
#include "kitfoundation/Log.h"
#include "playback/ZuPlayerTypes.h"
#include "playservice/ConcurrencyError.h"
#include "rx/Schedulers.h"

namespace lumora::detail {

namespace {

// The interval's period; an interval too long for the clock's range never ticks.
dispatch::Nanoseconds periodOf(std::int64_t seconds) {
    constexpr std::int64_t limit = std::numeric_limits<dispatch::Nanoseconds::rep>::max() / 1'000'000'000;
    if (seconds > limit) return dispatch::Nanoseconds::max();
    return std::chrono::seconds(seconds);
}

}  // namespace

std::shared_ptr<PlayerEventReporter> PlayerEventReporter::create(Services services, Environment environment) {
    return std::shared_ptr<PlayerEventReporter>(new PlayerEventReporter(std::move(services), std::move(environment)));
}

std::optional<PlayerEventData> PlayerEventReporter::makePlayerEventData(const std::string& auth0Token) {
    const auto content = environment_.content ? environment_.content() : nullptr;
    if (!content || !content->playerEventParameter) return std::nullopt;
    // A screen whose player was removed has nothing to report.
    const auto player = environment_.player ? environment_.player() : nullptr;
    if (!player) return std::nullopt;
    ++playerEventIntervalCount_;

    const auto& avplayer = player->videoView()->player();
    const float rate = avplayer->rate();
    const auto item = avplayer->currentItem();
    const bool isLive =
        item && item->status() == avfoundation::AVPlayerItem::Status::readyToPlay && item->duration().isIndefinite();
    const double position = avplayer->currentTime().seconds();

    // A position that is not a finite 32-bit number is sent as absent, so the event still goes out.
    std::optional<float> vodPosition;
    if (std::isfinite(position) && std::isfinite(static_cast<float>(position))) {
        vodPosition = static_cast<float>(position);
    }
    // An indefinite duration has no seconds: a live item's edge is the end of its seekable range, which the
    // player publishes as its duration.
    bool isOnLiveEdge = false;
    if (isLive) {
        const double edge = player->duration().seconds();
        isOnLiveEdge = std::isfinite(position) && std::isfinite(edge) &&
                       position - edge >= -ZuVideoPlayerConstant::playbackTimeDifferenceToBeLive;
    }

    const auto& parameter = *content->playerEventParameter;
    return PlayerEventData{
        .state = rate == 0.0f ? PlayerEventState::pause : PlayerEventState::playing,
        .isLive = isLive,
        .vodPosition = vodPosition,
        .liveResumePossible = false,
        .isOnLiveEdge = isOnLiveEdge,
        .eventNumber = playerEventIntervalCount_,
        .playerEventUrl = parameter.playerEventUrl,
        .playerEventBody = parameter.playerEventBody,
        .auth0Token = auth0Token,
        .streamUrl = content->resource,
    };
}

void PlayerEventReporter::postPlayerEvent(PlayerEventKind kind, const PlayerEventData& data) {
    outgoing_.push_back(std::make_shared<Outgoing>(Outgoing{.kind = kind, .data = data}));
    sendQueued();
}

void PlayerEventReporter::sendQueued() {
    while (!awaitingEnd_ && !outgoing_.empty() && outgoing_.front()->ready) {
        auto next = outgoing_.front();
        outgoing_.erase(outgoing_.begin());
        if (!next->endsSession) {
            send(*next, nullptr);
            continue;
        }
        awaitingEnd_ = true;
        std::weak_ptr<PlayerEventReporter> weakSelf = weak_from_this();
        send(*next, [weakSelf] {
            auto self = weakSelf.lock();
            if (!self) return;
            self->awaitingEnd_ = false;
            self->sendQueued();
        });
    }
}

void PlayerEventReporter::send(const Outgoing& event, std::function<void()> answered) {
    // The refusal is handled without the reporter: the sign-out happens even when the screen has gone
    // meanwhile, and the screen is told only when it is still there.
    auto logout = services_.logout;
    auto tell = environment_.streamLimitExceeded;
    const PlayerEventKind kind = event.kind;
    const std::int64_t number = event.data.eventNumber;
    services_.controller->makeEventBody(kind, event.data)
        .observeOn(rx::MainScheduler::asyncInstance())
        .take(1)
        .subscribe(
            {},
            [kind, number, logout, tell, answered](const foundation::Error& error) {
                if (answered) answered();
                if (!error.is<ConcurrencyError>()) {
                    // Only the stream limit ends a session; anything else is a lost report.
                    debugLog("☣️ Player event not sent:", kind.rawValue(), number, error);
                    return;
                }
                debugLog("☣️ Player event refused:", kind.rawValue(), number, error);
                if (!logout) {
                    if (tell) tell();
                    return;
                }
                logout([tell] {
                    if (tell) tell();
                });
            },
            [answered] {
                if (answered) answered();
            })
        .disposed(disposeBag_);
}

void PlayerEventReporter::startPlayerEventInterval() {
    const auto content = environment_.content ? environment_.content() : nullptr;
    if (!content || !content->playerEventParameter) return;
    // One interval at a time: a new stream's ticks replace the previous stream's.
    stopInterval();
    ++session_;
    // The start event carries the token the play request was made with.
    auto data = makePlayerEventData(content->accessToken);
    if (!data) return;
    sessionStarted_ = true;
    postPlayerEvent(PlayerEventKind::start, *data);

    // Less than a second (the content's interval is whole seconds) would flood the service: the start
    // event alone is sent.
    const std::int64_t seconds = content->playerEventParameter->playerEventInterval;
    if (seconds < 1) return;
    std::weak_ptr<PlayerEventReporter> weakSelf = weak_from_this();
    auto subscription = rx::Observable<std::int64_t>::interval(periodOf(seconds), rx::MainScheduler::instance())
                            .subscribe([weakSelf](const std::int64_t&) {
                                if (auto self = weakSelf.lock()) self->sendPeriodicPlayerEvent();
                            });
    interval_ = subscription;
    subscription.disposed(disposeBag_);
}

void PlayerEventReporter::stopInterval() {
    if (interval_) interval_->dispose();
}

void PlayerEventReporter::endSession() {
    stopInterval();
    // Ticks and ends whose tokens are still on their way belong to the ending stream: they send nothing.
    ++session_;
    if (!sessionStarted_) return;
    sessionStarted_ = false;
    // Recorded now: a moment later the screen's content and player are the next stream's.
    auto data = makePlayerEventData("");
    if (!data) return;
    auto end = std::make_shared<Outgoing>(
        Outgoing{.kind = PlayerEventKind::end, .data = std::move(*data), .endsSession = true, .ready = false});
    outgoing_.push_back(end);

    std::weak_ptr<PlayerEventReporter> weakSelf = weak_from_this();
    auto settle = [weakSelf, end](const std::optional<std::string>& token) {
        auto self = weakSelf.lock();
        if (!self) return;
        if (token) {
            end->data.auth0Token = *token;
            end->ready = true;
        } else {
            // Nobody is signed in: there is no session to end, and what follows goes on.
            debugLog("☣️ No token for the end of the session:", end->data.eventNumber);
            std::erase(self->outgoing_, end);
        }
        self->sendQueued();
    };
    withFreshToken(settle, [settle](const foundation::Error& error) {
        debugLog("☣️ No token for the end of the session:", error);
        settle(std::nullopt);
    });
}

void PlayerEventReporter::withFreshToken(std::function<void(const std::optional<std::string>&)> onToken,
                                         std::function<void(const foundation::Error&)> onError) {
    if (!services_.accessToken) {
        onToken(std::nullopt);
        return;
    }
    // The token may come on the thread that refreshed it; what follows reads the player on the main queue.
    // A source that ends without a token counts as no token.
    auto received = std::make_shared<bool>(false);
    services_.accessToken()
        .take(1)
        .observeOn(rx::MainScheduler::asyncInstance())
        .subscribe(
            [onToken, received](const std::optional<std::string>& token) {
                *received = true;
                onToken(token);
            },
            std::move(onError),
            [onToken, received] {
                if (!*received) onToken(std::nullopt);
            })
        .disposed(disposeBag_);
}

void PlayerEventReporter::sendPeriodicPlayerEvent() {
    sendWithFreshToken(PlayerEventKind::period);
}

void PlayerEventReporter::sendPlayerEndEvent() {
    const auto content = environment_.content ? environment_.content() : nullptr;
    if (!content) return;
    // The stream has ended its session itself: a switch or a close that follows sends no second end.
    sessionStarted_ = false;
    sendWithFreshToken(PlayerEventKind::end);
}

void PlayerEventReporter::sendWithFreshToken(PlayerEventKind kind) {
    std::weak_ptr<PlayerEventReporter> weakSelf = weak_from_this();
    const std::uint64_t session = session_;
    withFreshToken(
        [weakSelf, kind, session](const std::optional<std::string>& token) {
            auto self = weakSelf.lock();
            if (self && self->session_ == session) self->sendPlayerEvent(kind, token);
        },
        [kind](const foundation::Error& error) {
            // The event is skipped; the next tick asks again.
            debugLog("☣️ No token for the player event:", kind.rawValue(), error);
        });
}

void PlayerEventReporter::sendPlayerEvent(PlayerEventKind kind, const std::optional<std::string>& token) {
    std::optional<PlayerEventData> data;
    if (token) data = makePlayerEventData(*token);
    if (data) {
        postPlayerEvent(kind, *data);
        return;
    }
    // Nobody is signed in, or there is nothing to report on: the ticks stop. They are stopped on the next
    // turn of the main queue, outside the token's delivery, so that no delivery ever waits on another.
    if (!interval_) return;
    dispatch::DispatchQueue::main().async([interval = *interval_] { interval.dispose(); });
}

}  // namespace lumora::detail
