#include "DemoHost.h"

#include <algorithm>
#include <any>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "EmbeddedBackend.h"
#include "HostConfiguration.h"
#include "ScaledClock.h"
#include "alamofire/Session.h"
#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "authentication/ZuAuthManager.h"
#include "avfoundation/AVPlayerItem.h"
#include "coremedia/CMTime.h"
#include "dispatch/RunLoop.h"
#include "dispatch/Timer.h"
#include "foundation/Date.h"
#include "foundation/JSON.h"
#include "foundation/NotificationCenter.h"
#include "foundation/URL.h"
#include "playback/DRMAssetResourceLoader.h"
#include "playback/DRMError.h"
#include "playback/LicenceRedirect.h"
#include "playback/ZuVideoView.h"
#include "playservice/ConcurrencyError.h"
#include "playservice/StreamDRMSettingsProvider.h"
#include "playservice/VideoAPI.h"
#include "playservice/VideoError.h"
#include "rx/Schedulers.h"
#include "telemetry/PlayerEventController.h"

namespace demohost {

namespace {

using Clock = std::chrono::steady_clock;
using lumora::AssetStreamContent;

// The device id of the second session (--second-session): another device of the same viewer.
constexpr const char* kSecondDeviceId = "lumora-demo-second-device";
// How often the playhead is reported while the stream plays (media seconds).
constexpr double kTickInterval = 0.5;

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// "mm:ss" of whole seconds ("h:mm:ss" past an hour).
std::string clockText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const long long total = static_cast<long long>(seconds);
    char buffer[32];
    if (total >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", total / 3600, (total / 60) % 60, total % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", total / 60, total % 60);
    }
    return buffer;
}

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

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

std::optional<std::string> queryValue(const std::string& url, const std::string& name) {
    auto parsed = foundation::URL::fromString(url);
    if (!parsed) return std::nullopt;
    foundation::URLComponents components(*parsed);
    if (!components.queryItems) return std::nullopt;
    for (const auto& item : *components.queryItems) {
        if (item.name == name) return item.value;
    }
    return std::nullopt;
}

// Stands between the asset's resource loader and the kit's key loader, passing every request on, and
// remembers which key requests were made (first loads and renewals) so the host can report their answers.
// How each player event was answered, as the HTTP session saw it. The kit counts every outcome but a 403 as
// delivered (an error status, no answer at all), so the timeline asks here which one it was.
class PlayerEventAnswers final : public alamofire::EventMonitor {
  public:
    void requestDidFinish(const std::optional<foundation::URLRequest>& request,
                          const std::optional<foundation::HTTPURLResponse>& response,
                          const std::optional<alamofire::AFError>& error) override {
        if (!request || !request->httpBody) return;
        const auto body = foundation::JSONDecoder::parse(foundation::stringFromData(*request->httpBody));
        if (!body || !body->is_object() || !body->contains("progress")) return;
        const auto& number = (*body)["progress"]["eventNumber"];
        if (!number.is_number_integer()) return;
        Answer answer;
        if (response) {
            answer.status = response->statusCode;
        } else {
            answer.failure = error ? error->localizedDescription() : std::string("no answer");
        }
        std::lock_guard lock(mutex_);
        answers_[number.get<std::int64_t>()] = std::move(answer);
    }

    struct Answer {
        std::optional<int> status;
        std::string failure;
    };
    // The answer to the event of that number; nothing when it was never posted.
    std::optional<Answer> take(std::int64_t eventNumber) {
        std::lock_guard lock(mutex_);
        auto it = answers_.find(eventNumber);
        if (it == answers_.end()) return std::nullopt;
        Answer answer = std::move(it->second);
        answers_.erase(it);
        return answer;
    }

  private:
    std::mutex mutex_;
    std::map<std::int64_t, Answer> answers_;  // guarded by mutex_
};

class KeyRequestWatch final : public avfoundation::AVAssetResourceLoaderDelegate {
  public:
    explicit KeyRequestWatch(std::shared_ptr<lumora::DRMAssetResourceLoader> loader) : loader_(std::move(loader)) {}

    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request) override {
        remember(request, false);
        return loader_->resourceLoaderShouldWaitForLoadingOfRequestedResource(resourceLoader, request);
    }
    bool resourceLoaderShouldWaitForRenewalOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<avfoundation::AVAssetResourceRenewalRequest>& request) override {
        remember(request, true);
        return loader_->resourceLoaderShouldWaitForRenewalOfRequestedResource(resourceLoader, request);
    }

    struct Answered {
        std::string keyId;
        bool renewal = false;
        bool succeeded = false;
    };
    // The requests answered since the last call, in the order they were made.
    std::vector<Answered> takeAnswered() {
        std::lock_guard lock(mutex_);
        std::vector<Answered> answered;
        std::erase_if(pending_, [&](const Pending& p) {
            if (!p.request->isFinished() && !p.request->isCancelled()) return false;
            if (p.request->isFinished()) answered.push_back({p.keyId, p.renewal, !p.request->error().has_value()});
            return true;
        });
        return answered;
    }

    const std::shared_ptr<lumora::DRMAssetResourceLoader>& loader() const { return loader_; }

  private:
    struct Pending {
        std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest> request;
        std::string keyId;
        bool renewal = false;
    };
    void remember(const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request, bool renewal) {
        const std::string keyId = queryValue(request->request().url.absoluteString(), "keyId").value_or("?");
        auto task = loader_->task();
        std::lock_guard lock(mutex_);
        pending_.push_back({request, keyId, renewal});
        licenceTaskBeforeLastRequest_ = std::move(task);
    }

  public:
    // Whether the latest key request got as far as asking the licence server (a new licence request was
    // made since it came): when it did not, the certificate could not be used.
    bool latestRequestAskedTheLicenceServer() const {
        auto task = loader_->task();
        std::lock_guard lock(mutex_);
        return task && task != licenceTaskBeforeLastRequest_;
    }

  private:
    std::shared_ptr<lumora::DRMAssetResourceLoader> loader_;
    mutable std::mutex mutex_;
    std::vector<Pending> pending_;
    std::shared_ptr<foundation::URLSessionDataTask> licenceTaskBeforeLastRequest_;
};

// One run of the host, on the main thread: the player screen's road from sign-in to the end of the stream.
class Run : public std::enable_shared_from_this<Run> {
  public:
    Run(const Options& options, TimelineSink& sink, std::shared_ptr<ScaledClock> clock)
        : options_(options),
          sink_(sink),
          clock_(std::move(clock)),
          clockStart_(clock_->now()),
          realStart_(Clock::now()),
          drmSettingsProvider_(lumora::StreamDRMSettingsProvider::create()),
          eventAnswers_(std::make_shared<PlayerEventAnswers>()) {
        // The player screen's controller, over a session of its own that tells how each event was answered.
        auto dependencies = lumora::PlayerEventController::Dependencies::current();
        dependencies.session =
            alamofire::Session::create(foundation::URLSessionConfiguration::default_(), nullptr, {eventAnswers_});
        eventController_ = lumora::PlayerEventController::create(std::move(dependencies));
    }

    void setDeadlineWatch(DeadlineWatch* watch) { deadlineWatch_ = watch; }
    ExitStatus status() const { return status_; }

    void start(const std::string& backendText) {
        realStart_ = Clock::now();
        clockStart_ = clock_->now();
        report(TimelineEvent::Kind::backend, backendText);
        signIn();
    }

    void interrupt() { fail(ExitStatus::interrupted, "interrupted while " + stage_); }

    void timedOut() {
        fail(ExitStatus::timedOut,
             "timed out: no progress for " + fixed(options_.timeoutSeconds, 0) + " s of real time while " + stage_);
    }

    void fail(ExitStatus status, std::string text) {
        if (done_) return;
        TimelineEvent event{.kind = TimelineEvent::Kind::failed, .text = std::move(text), .status = status};
        record(std::move(event));
        end(status);
    }

    // Stops everything the run started; the kit's objects go with the run.
    void cleanUp() {
        if (eventTimer_) eventTimer_->invalidate();
        eventTimer_.reset();
        auto& center = foundation::NotificationCenter::defaultCenter();
        for (auto& token : notificationTokens_) center.removeObserver(token);
        notificationTokens_.clear();
        statusObservation_ = foundation::NSKeyValueObservation();
        if (view_) {
            const auto& player = view_->player();
            if (timeObserver_.has_value()) player->removeTimeObserver(timeObserver_);
            timeObserver_.reset();
            player->pause();
            player->replaceCurrentItem(nullptr);
        }
        bag_ = rx::DisposeBag();
    }

  private:
    // ---- Reporting ----

    void report(TimelineEvent::Kind kind, std::string text) {
        TimelineEvent event{.kind = kind, .text = std::move(text)};
        record(std::move(event));
    }

    void record(TimelineEvent event) {
        event.clockSeconds = dispatch::secondsFromNanoseconds(clock_->now() - clockStart_);
        event.realSeconds = std::chrono::duration<double>(Clock::now() - realStart_).count();
        sink_.record(event);
    }

    void setStage(std::string stage) {
        stage_ = std::move(stage);
        armDeadline();
    }
    void armDeadline() {
        if (!deadlineWatch_) return;
        deadlineWatch_->setDeadline(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(options_.timeoutSeconds)));
    }

    void end(ExitStatus status) {
        if (done_) return;
        done_ = true;
        status_ = status;
        if (deadlineWatch_) deadlineWatch_->clearDeadline();
        // Cleaned up once the run loop has returned: this may run inside a subscription's handler, where
        // disposing the other subscriptions would take their locks in the reverse order of their making.
        dispatch::RunLoop::main().stop();
    }

    void succeed(std::string summary) {
        if (done_) return;
        report(TimelineEvent::Kind::finished, std::move(summary));
        end(ExitStatus::success);
    }

    std::weak_ptr<Run> weak() { return weak_from_this(); }

    // ---- Sign-in ----

    void signIn() {
        setStage("signing in as " + options_.email);
        auto signedIn = std::make_shared<bool>(false);
        lumora::ZuAuthManager::shared()
            .login(options_.email, options_.password)
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe([signedIn](bool value) { *signedIn = value; },
                       [w = weak()](const foundation::Error& error) {
                           if (auto self = w.lock()) self->signInFailed(error);
                       },
                       [w = weak(), signedIn] {
                           auto self = w.lock();
                           if (!self) return;
                           if (*signedIn) {
                               self->didSignIn();
                           } else {
                               self->fail(ExitStatus::signInFailed, "sign-in failed for " + self->options_.email);
                           }
                       })
            .disposed(bag_);
    }

    void signInFailed(const foundation::Error& error) {
        std::string text = "sign-in failed for " + options_.email + ": " + error.localizedDescription();
        if (const auto* auth = error.as<lumora::AuthenticationError>()) {
            if (auth->isInactiveAccount() || auth->isIncompleteAccount()) {
                text = "sign-in refused for " + options_.email + ": " + error.localizedDescription();
            }
        }
        fail(ExitStatus::signInFailed, std::move(text));
    }

    void didSignIn() {
        std::string text = "signed in as " + options_.email;
        if (auto manager = lumora::LumoraAuthManager::shared().authManager()) {
            if (auto account = manager->currentAccount()) {
                text += " (account " + account->id() + ", " + account->status().rawValue() + ")";
            }
        }
        report(TimelineEvent::Kind::signedIn, std::move(text));
        play();
    }

    // ---- The play chain: automatic sign-in, then the play service ----

    void play() {
        setStage("asking the play service for \"" + options_.assetId + "\"");
        const std::string assetId = options_.assetId;
        lumora::ZuAuthManager::shared()
            .autoLogin()
            .flatMap([assetId](const rx::Void&) {
                return rx::Observable<AssetStreamContent>::deferred(
                    [assetId] { return lumora::VideoAPI::shared()->fetchStreamContent(assetId); });
            })
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe(
                [w = weak()](const AssetStreamContent& content) {
                    if (auto self = w.lock()) self->handleStreamContent(content);
                },
                [w = weak()](const foundation::Error& error) {
                    if (auto self = w.lock()) self->playFailed(error);
                })
            .disposed(bag_);
    }

    void playFailed(const foundation::Error& error) {
        if (error.is<lumora::AuthenticationError>()) {
            fail(ExitStatus::signInFailed, "the viewer is not signed in any more: " + error.localizedDescription());
            return;
        }
        fail(ExitStatus::assetRefused,
             "asset \"" + options_.assetId + "\" refused by the play service: " + error.localizedDescription());
    }

    void handleStreamContent(const AssetStreamContent& content) {
        if (content_) return;  // one stream per run
        content_ = content;
        std::string text = "stream chosen: \"" + content.title + "\" (" + content.id + "), " +
                           content.contentMediaFormat + ", " +
                           (content.isDRMProtected ? std::string("FairPlay-protected") : std::string("clear"));
        if (content.playerEventParameter) {
            text += ", player events every " + std::to_string(content.playerEventParameter->playerEventInterval) + " s";
        } else {
            text += ", no player events";
        }
        report(TimelineEvent::Kind::streamChosen, std::move(text));

        url_ = foundation::URL::fromString(content.resource);
        if (!url_) {
            fail(ExitStatus::playbackFailed,
                 "the play service's manifest address is not a URL: \"" + content.resource + "\"");
            return;
        }
        if (options_.secondSession) {
            startSecondSession();
        } else {
            load();
        }
    }

    // ---- --second-session: another device of the same viewer starts watching first ----

    void startSecondSession() {
        if (!content_->playerEventParameter) {
            report(TimelineEvent::Kind::secondSession,
                   "second session: the asset reports no player events, so no session to open");
            load();
            return;
        }
        setStage("starting a second session on another device");
        auto dependencies = lumora::PlayerEventController::Dependencies::current();
        dependencies.deviceId = kSecondDeviceId;
        secondController_ = lumora::PlayerEventController::create(dependencies);
        lumora::PlayerEventData data{
            .state = lumora::PlayerEventState::playing,
            .vodPosition = 0.0f,
            .isOnLiveEdge = false,
            .eventNumber = 1,
            .playerEventUrl = content_->playerEventParameter->playerEventUrl,
            .playerEventBody = content_->playerEventParameter->playerEventBody,
            .auth0Token = content_->accessToken,
            .streamUrl = content_->resource,
        };
        secondController_->makeEventBody(lumora::PlayerEventKind::start, data)
            .observeOn(rx::MainScheduler::asyncInstance())
            .take(1)
            .subscribe(
                [w = weak()](const rx::Void&) {
                    auto self = w.lock();
                    if (!self) return;
                    self->report(TimelineEvent::Kind::secondSession, std::string("second session: another device (") +
                                                                         kSecondDeviceId + ") is watching \"" +
                                                                         self->content_->id + "\" for the same viewer");
                    self->load();
                },
                [w = weak()](const foundation::Error& error) {
                    auto self = w.lock();
                    if (!self) return;
                    self->report(TimelineEvent::Kind::secondSession,
                                 "second session: refused as well (" + error.localizedDescription() + ")");
                    self->load();
                })
            .disposed(bag_);
    }

    // ---- Loading ----

    void load() {
        setStage("loading the stream");
        view_ = lumora::ZuVideoView::create(coregraphics::CGRect{{0, 0}, {1280, 720}});
        if (auto settings = drmSettingsProvider_->settings(*content_)) {
            keyWatch_ = std::make_shared<KeyRequestWatch>(lumora::DRMAssetResourceLoader::create(*settings));
            view_->setResourceLoaderDelegate(keyWatch_);
        }
        view_->load(*url_, [w = weak()](std::optional<foundation::Error> error) {
            auto self = w.lock();
            if (!self || self->done_) return;
            if (error) {
                self->loadFailed(*error);
            } else {
                self->didLoad();
            }
        });
    }

    void loadFailed(const foundation::Error& error) {
        if (limitReached_) return;  // see itemFailed
        if (auto drm = drmErrorIn(error)) {
            licenceFailed(*drm, error);
            return;
        }
        fail(ExitStatus::playbackFailed, "the stream could not be loaded: " + error.localizedDescription());
    }

    void licenceFailed(lumora::DRMError drm, const foundation::Error& error) {
        // The request data is made from the certificate before any licence request: when none was made,
        // the certificate (missing, empty, cut short) is what failed, not the licence server.
        if (drm == lumora::DRMError::keyExchangeFailed && keyWatch_ &&
            !keyWatch_->latestRequestAskedTheLicenceServer()) {
            fail(ExitStatus::playbackFailed, "licence not asked for: the FairPlay certificate at " +
                                                 content_->drmCertificateURLString.value_or("?") +
                                                 " could not be used, so no content key could be requested (" +
                                                 error.localizedDescription() + ")");
            return;
        }
        if (drm == lumora::DRMError::licenseRefused || drm == lumora::DRMError::keyExchangeFailed) {
            fail(ExitStatus::licenceRefused, "licence refused: the licence server would not give the content key (" +
                                                 error.localizedDescription() + ")");
        } else {
            fail(ExitStatus::licenceRefused,
                 "licence failed: the content key could not be fetched (" + error.localizedDescription() + ")");
        }
    }

    void didLoad() {
        const auto& player = view_->player();
        auto item = player->currentItem();
        if (!item) {
            fail(ExitStatus::playbackFailed, "the stream loaded but the player has no item");
            return;
        }
        auto& center = foundation::NotificationCenter::defaultCenter();
        notificationTokens_.push_back(center.addObserver(avfoundation::AVPlayerItemDidPlayToEndTimeNotification, item,
                                                         &dispatch::DispatchQueue::main(),
                                                         [w = weak()](const foundation::Notification&) {
                                                             if (auto self = w.lock()) self->didPlayToEnd();
                                                         }));
        notificationTokens_.push_back(center.addObserver(avfoundation::AVPlayerItemFailedToPlayToEndTimeNotification,
                                                         item, &dispatch::DispatchQueue::main(),
                                                         [w = weak()](const foundation::Notification&) {
                                                             if (auto self = w.lock()) self->itemFailed();
                                                         }));
        std::weak_ptr<avfoundation::AVPlayerItem> weakItem = item;
        statusObservation_ = item->statusProperty().observe(
            foundation::NSKeyValueObservingOptions::initial | foundation::NSKeyValueObservingOptions::new_,
            [w = weak()](const foundation::NSKeyValueObservedChange<avfoundation::AVPlayerItem::Status>& change) {
                auto self = w.lock();
                if (!self || !change.newValue) return;
                // Told inside the item's own change: act on a later turn of the main queue.
                const auto status = *change.newValue;
                dispatch::DispatchQueue::main().async([w, status] {
                    if (auto self = w.lock()) self->itemStatusChanged(status);
                });
            });
        timeObserver_ = player->addPeriodicTimeObserver(coremedia::CMTimeMakeWithSeconds(kTickInterval, 1'000'000'000),
                                                        nullptr, [w = weak()](coremedia::CMTime time) {
                                                            if (auto self = w.lock()) self->tick(time);
                                                        });

        setStage("waiting for the stream to play");
        // As the player screen does once a stream has loaded: start reporting, then start playback.
        startPlayerEventInterval();
        if (!done_) player->play();
    }

    void itemStatusChanged(avfoundation::AVPlayerItem::Status status) {
        if (done_) return;
        if (status == avfoundation::AVPlayerItem::Status::readyToPlay) {
            reportKeys();
        } else if (status == avfoundation::AVPlayerItem::Status::failed) {
            itemFailed();
        }
    }

    void itemFailed() {
        // After a refused session the viewer is being signed out: keys asked for meanwhile find no token.
        if (done_ || !view_ || limitReached_) return;
        auto item = view_->player()->currentItem();
        std::optional<foundation::Error> error = item ? item->error() : std::nullopt;
        std::optional<lumora::DRMError> drm = error ? drmErrorIn(*error) : std::nullopt;
        if (!drm && keyWatch_) {
            if (auto published = keyWatch_->loader()->statePublisher().value(); published && *published)
                drm = **published;
        }
        if (drm) {
            licenceFailed(*drm, error ? *error : foundation::Error(*drm));
            return;
        }
        fail(ExitStatus::playbackFailed,
             "playback failed: " + (error ? error->localizedDescription() : std::string("the player item failed")));
    }

    // ---- Keys ----

    void reportKeys() {
        if (!keyWatch_) return;
        auto answered = keyWatch_->takeAnswered();
        std::vector<std::string> fetched, renewed;
        for (const auto& a : answered) {
            if (!a.succeeded) continue;  // a failed key fails the item, reported there
            (a.renewal ? renewed : fetched).push_back(a.keyId);
            (a.renewal ? keysRenewed_ : keysFetched_)++;
        }
        std::string due;
        if (auto date = keyWatch_->loader()->nextExpectedRenewalDate()) {
            due = " (renewal due in " + fixed(date->timeIntervalSinceNow(), 0) + " s)";
        }
        auto join = [](const std::vector<std::string>& ids) {
            std::string text;
            for (const auto& id : ids) text += (text.empty() ? "" : ", ") + id;
            return text;
        };
        if (!fetched.empty()) {
            report(TimelineEvent::Kind::keyFetched,
                   std::string(fetched.size() == 1 ? "key fetched: " : "keys fetched: ") + join(fetched) + due);
        }
        if (!renewed.empty()) {
            report(TimelineEvent::Kind::keyRenewed,
                   std::string(renewed.size() == 1 ? "key renewed: " : "keys renewed: ") + join(renewed) + due);
        }
    }

    // ---- Playing ----

    void tick(coremedia::CMTime time) {
        if (done_ || !view_) return;
        const auto& player = view_->player();
        const double position = time.isNumeric() ? time.seconds() : 0;
        reportKeys();
        if (!started_ && player->timeControlStatus() == avfoundation::AVPlayer::TimeControlStatus::playing) {
            started_ = true;
            setStage("playing");
            report(TimelineEvent::Kind::playbackStarted,
                   "playback started at " + clockText(position) +
                       (duration() > 0 ? " of " + clockText(duration()) : std::string()));
            if (options_.stopAtFirstPlayingTick) {
                succeed("stopped at the first playing tick");
                return;
            }
        }
        if (started_) {
            sink_.progress(position, duration());
            if (position != lastPosition_) {
                lastPosition_ = position;
                armDeadline();
            }
        }
    }

    double duration() const {
        if (!view_) return 0;
        auto item = view_->player()->currentItem();
        if (!item) return 0;
        const auto d = item->duration();
        return d.isNumeric() ? d.seconds() : 0;
    }

    void didPlayToEnd() {
        if (done_ || ended_) return;
        ended_ = true;
        reportKeys();
        sink_.progress(duration(), duration());
        report(TimelineEvent::Kind::playbackEnded, "playback ended at " + clockText(duration()));
        // The host leaves the stream: no more period events; the end event goes out with a fresh token.
        if (eventTimer_) eventTimer_->invalidate();
        if (!content_->playerEventParameter) {
            finishPlayback();
            return;
        }
        setStage("sending the end event");
        sendWithFreshToken(lumora::PlayerEventKind::end);
    }

    // The run ends once the end event and every event sent before it have their answers.
    void finishWhenEventsAnswered() {
        if (endAnswered_ && eventsInFlight_ == 0) finishPlayback();
    }

    void finishPlayback() {
        const double real = std::chrono::duration<double>(Clock::now() - realStart_).count();
        std::string text = "finished: played " + clockText(duration()) + " of \"" + content_->title + "\" in " +
                           fixed(real, 2) + " s of real time (" + fixed(clock_->speed(), 0) + "x)";
        text += "; ";
        if (keyWatch_) {
            text += std::to_string(keysFetched_) + (keysFetched_ == 1 ? " key" : " keys") + " fetched, " +
                    std::to_string(keysRenewed_) + (keysRenewed_ == 1 ? " renewal" : " renewals") + ", ";
        }
        text += std::to_string(eventsSent_) + " player " + (eventsSent_ == 1 ? "event" : "events") + " sent";
        succeed(std::move(text));
    }

    // ---- Player events, as the player screen sends them ----

    std::optional<lumora::PlayerEventData> makePlayerEventData(const std::string& token) {
        if (!content_ || !content_->playerEventParameter || !view_) return std::nullopt;
        ++eventCount_;
        const auto& player = view_->player();
        auto item = player->currentItem();
        const bool isLive = item && item->status() == avfoundation::AVPlayerItem::Status::readyToPlay &&
                            item->duration().isIndefinite();
        const double position = player->currentTime().isNumeric() ? player->currentTime().seconds() : 0;
        bool onLiveEdge = false;
        if (isLive) {
            // The live edge is the end of the seekable range; within 10 seconds of it counts as on it.
            auto ranges = item->seekableTimeRanges();
            if (!ranges.empty()) onLiveEdge = position - ranges.back().end().seconds() >= -10.0;
        }
        const auto& parameter = *content_->playerEventParameter;
        return lumora::PlayerEventData{
            .state = player->rate() == 0 ? lumora::PlayerEventState::pause : lumora::PlayerEventState::playing,
            .isLive = isLive,
            .vodPosition = static_cast<float>(position),
            .liveResumePossible = false,
            .isOnLiveEdge = onLiveEdge,
            .eventNumber = eventCount_,
            .playerEventUrl = parameter.playerEventUrl,
            .playerEventBody = parameter.playerEventBody,
            .auth0Token = token,
            .streamUrl = content_->resource,
        };
    }

    void startPlayerEventInterval() {
        if (!content_->playerEventParameter) return;
        // The start event goes out with the token the play request was made with.
        if (auto data = makePlayerEventData(content_->accessToken)) post(lumora::PlayerEventKind::start, *data, false);
        const auto interval = content_->playerEventParameter->playerEventInterval;
        if (interval <= 0) return;  // no periodic events rather than a flood
        eventTimer_ =
            dispatch::Timer::scheduledTimer(static_cast<double>(interval), true, [w = weak()](dispatch::Timer&) {
                if (auto self = w.lock()) self->sendWithFreshToken(lumora::PlayerEventKind::period);
            });
    }

    // Every tick (and the end) first asks the sign-in stack for the viewer's current token.
    void sendWithFreshToken(lumora::PlayerEventKind kind) {
        lumora::LumoraAuthManager::shared()
            .accessToken()
            .take(1)
            .observeOn(rx::MainScheduler::asyncInstance())
            .subscribe(
                [w = weak(), kind](const std::optional<std::string>& token) {
                    auto self = w.lock();
                    if (!self || self->done_) return;
                    if (!token) {
                        if (self->eventTimer_) self->eventTimer_->invalidate();
                        self->fail(ExitStatus::signInFailed,
                                   "no signed-in viewer to send the \"" + kind.rawValue() + "\" event for");
                        return;
                    }
                    // The host has left the stream: a tick that was under way at the end sends nothing.
                    if (kind == lumora::PlayerEventKind::period && self->ended_) return;
                    auto data = self->makePlayerEventData(*token);
                    if (!data) {
                        if (self->eventTimer_) self->eventTimer_->invalidate();
                        return;
                    }
                    self->post(kind, *data, true);
                },
                [w = weak(), kind](const foundation::Error& error) {
                    auto self = w.lock();
                    if (!self) return;
                    self->fail(ExitStatus::signInFailed, "could not get a fresh token for the \"" + kind.rawValue() +
                                                             "\" event: " + error.localizedDescription());
                })
            .disposed(bag_);
    }

    void post(lumora::PlayerEventKind kind, const lumora::PlayerEventData& data, bool freshToken) {
        const std::int64_t number = data.eventNumber;
        const std::string state = data.state.rawValue();
        const double position = data.vodPosition.value_or(0);
        ++eventsInFlight_;
        eventController_->makeEventBody(kind, data)
            .observeOn(rx::MainScheduler::asyncInstance())
            .take(1)
            .subscribe(
                [w = weak(), kind, number, state, position, freshToken](const rx::Void&) {
                    auto self = w.lock();
                    if (!self || self->done_) return;
                    --self->eventsInFlight_;
                    ++self->eventsSent_;
                    const std::string what = kind.rawValue() + " #" + std::to_string(number) + " at " +
                                             clockText(position) + " (" + state + ", " +
                                             (freshToken ? "fresh token" : "the play request's token");
                    // Delivered, as the kit counts it; the timeline says how it was answered.
                    const auto answer = self->eventAnswers_->take(number);
                    std::string text;
                    if (answer && answer->status && *answer->status >= 200 && *answer->status <= 299) {
                        text = "event sent: " + what + "; answered " + std::to_string(*answer->status) + ")";
                    } else if (answer && answer->status) {
                        text = "event answered " + std::to_string(*answer->status) + ": " + what +
                               "; counted as delivered)";
                    } else if (answer) {
                        text = "event not answered: " + what + "; " + answer->failure + "; counted as delivered)";
                    } else {
                        text = "event not posted: " + what + "; counted as delivered)";
                    }
                    TimelineEvent event{
                        .kind = TimelineEvent::Kind::eventSent,
                        .text = std::move(text),
                        .playerEvent = kind.rawValue(),
                        .eventNumber = number,
                    };
                    self->record(std::move(event));
                    if (kind == lumora::PlayerEventKind::end) self->endAnswered_ = true;
                    self->finishWhenEventsAnswered();
                },
                [w = weak(), kind, number](const foundation::Error& error) {
                    auto self = w.lock();
                    if (!self || self->done_) return;
                    --self->eventsInFlight_;
                    if (error.is<lumora::ConcurrencyError>()) {
                        self->streamLimitReached(kind, number, error);
                        return;
                    }
                    self->report(TimelineEvent::Kind::eventRefused, "event not sent: " + kind.rawValue() + " #" +
                                                                        std::to_string(number) + " (" +
                                                                        error.localizedDescription() + ")");
                    if (kind == lumora::PlayerEventKind::end) self->endAnswered_ = true;
                    self->finishWhenEventsAnswered();
                })
            .disposed(bag_);
    }

    // The player-event service refused the session: sign the viewer out, as the player screen does.
    void streamLimitReached(lumora::PlayerEventKind kind, std::int64_t number, const foundation::Error& error) {
        if (limitReached_) return;
        limitReached_ = true;
        TimelineEvent event{
            .kind = TimelineEvent::Kind::eventRefused,
            .text = "event refused: " + kind.rawValue() + " #" + std::to_string(number) + " (" +
                    error.localizedDescription() + ")",
            .playerEvent = kind.rawValue(),
            .eventNumber = number,
        };
        record(std::move(event));
        if (eventTimer_) eventTimer_->invalidate();
        if (view_) view_->player()->pause();
        setStage("signing out");
        const std::string reason = error.localizedDescription();
        lumora::ZuAuthManager::shared().logout([w = weak(), reason](std::expected<void, foundation::Error> result) {
            auto self = w.lock();
            if (!self) return;
            self->report(TimelineEvent::Kind::signedOut,
                         result ? std::string("signed out: the subscription's stream limit was reached")
                                : "signed out locally (" + result.error().localizedDescription() + ")");
            self->fail(ExitStatus::streamLimitReached, "stream limit reached: " + reason);
        });
    }

    Options options_;
    TimelineSink& sink_;
    std::shared_ptr<ScaledClock> clock_;
    dispatch::Nanoseconds clockStart_;
    Clock::time_point realStart_;
    DeadlineWatch* deadlineWatch_ = nullptr;
    std::string stage_ = "starting";
    bool done_ = false;
    ExitStatus status_ = ExitStatus::success;

    std::shared_ptr<lumora::StreamDRMSettingsProvider> drmSettingsProvider_;
    std::shared_ptr<PlayerEventAnswers> eventAnswers_;
    std::shared_ptr<lumora::PlayerEventController> eventController_;
    std::shared_ptr<lumora::PlayerEventController> secondController_;
    std::optional<AssetStreamContent> content_;
    std::optional<foundation::URL> url_;
    std::shared_ptr<lumora::ZuVideoView> view_;
    std::shared_ptr<KeyRequestWatch> keyWatch_;
    std::any timeObserver_;
    foundation::NSKeyValueObservation statusObservation_;
    std::vector<std::shared_ptr<foundation::NotificationObserverToken>> notificationTokens_;
    std::shared_ptr<dispatch::Timer> eventTimer_;
    rx::DisposeBag bag_;

    std::int64_t eventCount_ = 0;
    int eventsSent_ = 0;
    int keysFetched_ = 0;
    int keysRenewed_ = 0;
    bool started_ = false;
    bool ended_ = false;
    bool limitReached_ = false;
    bool endAnswered_ = false;
    int eventsInFlight_ = 0;
    double lastPosition_ = -1;
};

// The run under way, for interruptDemoHost().
class CurrentRun {
  public:
    void set(const std::shared_ptr<Run>& run) {
        std::lock_guard lock(mutex_);
        run_ = run;
    }
    std::weak_ptr<Run> get() {
        std::lock_guard lock(mutex_);
        return run_;
    }

  private:
    std::mutex mutex_;
    std::weak_ptr<Run> run_;
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

Plays an asset end to end the way a host application uses the Lumora kit: signs the viewer in, asks the
play service for the asset, loads the stream with its FairPlay keys, plays it to the end on an accelerated
clock while sending player events, and prints a timeline. By default the whole back end runs inside the
process on a free loopback port.

options:
  --email ADDRESS        the viewer's e-mail address (default demo@lumora.dev)
  --password TEXT        the viewer's password (default lumora-demo)
  --asset ID             the asset to play (default vod-protected)
  --speed FACTOR         clock speed: real time scaled by FACTOR, at most 1000 (default 60: two minutes take
                         two seconds)
  --backend-plist PATH   use the back end named by this host property list (SDK_PlayServiceURL,
                         SDK_Auth0Domain, SDK_Auth0ClientId, SDK_EntitlementServiceURL...) instead of the
                         embedded one
  --second-session       another device of the same viewer starts watching first: the stream limit road
  --timeout SECONDS      real seconds any one step may take without progress (default 30)
  -h, --help             show this text

demo accounts (password lumora-demo): demo@lumora.dev (active), inactive@lumora.dev, incomplete@lumora.dev
demo assets: vod-protected, vod-clear, vod-ads, live-1 (plays until interrupted), no-stream, err-1006, err-3003

exit status: 0 success, 2 bad command line, 3 back end unusable, 4 sign-in failed, 5 asset refused,
             6 licence refused, 7 stream limit reached, 8 playback failed, 9 timed out, 130 interrupted
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
        } else if (flag == "--email" || flag == "--password" || flag == "--asset" || flag == "--backend-plist") {
            auto text = value();
            if (!text) return std::unexpected(text.error());
            if (text->empty()) return std::unexpected(flag + " needs a value");
            if (flag == "--email") options.email = *text;
            if (flag == "--password") options.password = *text;
            if (flag == "--asset") options.assetId = *text;
            if (flag == "--backend-plist") options.backendPlist = *text;
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
    std::fprintf(out_, "  %s  %s\n", stamp(event.clockSeconds).c_str(), event.text.c_str());
    std::fflush(out_);
    if (event.kind == TimelineEvent::Kind::failed) {
        std::fprintf(err_, "lumora-demo: %s\n", event.text.c_str());
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
    std::optional<lumora::LicenceRedirect> licenceRedirect;
    if (backend) {
        licenceRedirect.emplace("127.0.0.1", backend->baseURL());
    } else if (auto base = configuration->loopbackLicenceBase()) {
        licenceRedirect.emplace("127.0.0.1", *base);
    }

    // The accelerated clock, for the whole run.
    auto previousClock = dispatch::Clock::current();
    auto clock = ScaledClock::continuing(*previousClock, options.speed);
    dispatch::Clock::setCurrent(clock);
    auto& loop = dispatch::RunLoop::main();
    loop.adoptCurrentThread();

    auto run = std::make_shared<Run>(options, sink, clock);
    std::weak_ptr<Run> weakRun = run;
    DeadlineWatch deadlineWatch([weakRun] {
        dispatch::RunLoop::main().post([weakRun] {
            if (auto r = weakRun.lock()) r->timedOut();
        });
    });
    run->setDeadlineWatch(&deadlineWatch);
    currentRun().set(run);
    loop.post([run, backendText] { run->start(backendText); });
    loop.run();
    currentRun().set(nullptr);
    deadlineWatch.stop();
    run->setDeadlineWatch(nullptr);
    run->cleanUp();
    const ExitStatus status = run->status();
    run.reset();

    dispatch::Clock::setCurrent(previousClock);
    if (!options.backend && backend) backend->stop();
    return status;
}

void interruptDemoHost() {
    auto weak = currentRun().get();
    dispatch::RunLoop::main().post([weak] {
        if (auto run = weak.lock()) run->interrupt();
    });
}

int demoHostMain(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err, bool isTerminal) {
    auto options = parseArguments(arguments);
    if (!options) {
        std::fprintf(err, "lumora-demo: %s\n(see lumora-demo --help)\n", options.error().c_str());
        return static_cast<int>(ExitStatus::usage);
    }
    if (options->help) {
        std::fputs(usage().c_str(), out);
        return 0;
    }
    ConsoleTimeline timeline(out, err, isTerminal);
    return static_cast<int>(runDemoHost(*options, timeline));
}

}  // namespace demohost
