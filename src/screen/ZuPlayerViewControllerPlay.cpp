// The player screen's play road: sign-in, stream content, the end of the session before another stream,
// FairPlay settings and the stream load; the routing of its failures (the login screen for a needed sign-in,
// the host for everything else); the screen's side of the login screen; and the reaction to a refused player
// event.
#include "authentication/ZuAuthManager.h"
#include "dispatch/DispatchQueue.h"
#include "foundation/URL.h"
#include "foundation/URLError.h"
#include "kitfoundation/Log.h"
#include "playservice/VideoError.h"
#include "rx/Schedulers.h"
#include "screen/ZuPlayerViewController.h"
#include "screen/detail/PlayerEventReporter.h"
#include "uikit/UINavigationController.h"

namespace lumora {

void ZuPlayerViewController::play(const std::string& assetId) {
    assetId_ = assetId;
    debugLog("☣️ Play asset: " + assetId);
    (void)ZuAuthManager::shared();

    // The latest play wins: the chain and the load of an earlier one end here, and anything of theirs
    // already on its way to the main queue is told apart by its number.
    const std::uint64_t generation = ++playGeneration_;
    streamLoad_.setDisposable(rx::Disposable());
    playRequest_.setDisposable(rx::Disposable());

    auto videoAPI = dependencies_.videoAPI;
    auto isLatest = whileLatest(generation);
    playRequest_.setDisposable(
        ZuAuthManager::shared()
            .autoLogin()
            .flatMap([videoAPI, assetId](const rx::Void&) {
                // The play request starts only once a viewer is signed in.
                return rx::Observable<AssetStreamContent>::deferred(
                    [videoAPI, assetId] { return videoAPI->fetchStreamContent(assetId); });
            })
            // A token failure arrives where the sign-in stack answered: the screen acts on the main queue only.
            .observeOn(rx::MainScheduler::instance())
            .subscribe(
                [isLatest](const AssetStreamContent& content) {
                    if (auto self = isLatest()) self->handleStreamContent(content);
                },
                [isLatest](const foundation::Error& error) {
                    if (auto self = isLatest()) self->handleError(error);
                }));
}

std::function<std::shared_ptr<ZuPlayerViewController>()> ZuPlayerViewController::whileLatest(
    std::uint64_t generation) const {
    std::weak_ptr<ZuPlayerViewController> weak = weakSelf();
    return [weak, generation]() -> std::shared_ptr<ZuPlayerViewController> {
        auto self = weak.lock();
        return self && self->playGeneration_ == generation ? self : nullptr;
    };
}

void ZuPlayerViewController::endSession() {
    playerEvents_->endSession();
    if (player_) dependencies_.analytics->stopMonitoring(player_->videoView()->player());
}

void ZuPlayerViewController::handleStreamContent(const AssetStreamContent& content) {
    debugLog("☣️ Handle StreamContent");
    // Before another stream goes into the player, the session of the one there ends, while the content
    // and the player are still its own.
    endSession();
    auto shared = std::make_shared<const AssetStreamContent>(content);
    streamContent_ = shared;

    const auto url = foundation::URL::fromString(content.resource);
    if (!url) {
        // An address the player cannot take: the player goes, and the host learns that there is no stream.
        if (player_) player_->removeFromSuperview();
        player_.reset();
        reportFailure(VideoError(VideoError::noAvailableStreamError));
        return;
    }
    if (!player_) {
        // No player to load into (the view is not loaded, or an earlier address removed the player).
        reportFailure(VideoError(VideoError::noAvailableStreamError));
        return;
    }

    // FairPlay settings for protected content with a certificate address; a clear load otherwise.
    std::optional<StreamDRMSettings> drm = drmSettingsProvider_->settings(content);

    std::weak_ptr<ZuPlayer> weakPlayer = player_;
    auto load =
        rx::Observable<rx::Void>::create([weakPlayer, url = *url, drm](const rx::AnyObserver<rx::Void>& observer) {
            auto player = weakPlayer.lock();
            if (!player) return rx::Disposables::create();
            player->load(url, drm, [observer](ZuPlayer&, std::optional<foundation::Error> error) {
                if (error) {
                    observer.onError(*error);
                    return;
                }
                observer.onNext(rx::Void{});
                observer.onCompleted();
            });
            return rx::Disposables::create();
        });

    auto isLatest = whileLatest(playGeneration_);
    streamLoad_.setDisposable(load.observeOn(rx::MainScheduler::asyncInstance())
                                  .subscribe(
                                      [isLatest, shared](const rx::Void&) {
                                          if (auto self = isLatest()) self->loadSucceeded(shared);
                                      },
                                      [isLatest](const foundation::Error& error) {
                                          // A load overtaken by a later one (another play, the player's own
                                          // reload) is no failure: the later load is what the host hears of.
                                          if (foundation::URLError::is(error, foundation::URLError::cancelled)) {
                                              debugLog("☣️ Load overtaken by a later one");
                                              return;
                                          }
                                          dispatch::DispatchQueue::main().async([isLatest, error] {
                                              if (auto self = isLatest()) self->handleError(error);
                                          });
                                      }));
}

void ZuPlayerViewController::loadSucceeded(const std::shared_ptr<const AssetStreamContent>& content) {
    if (player_) dependencies_.analytics->startMonitoring(*content, player_->videoView()->player());
    playerEvents_->startPlayerEventInterval();
    startPlayback();
}

void ZuPlayerViewController::startPlayback() {
    debugLog("☣️ Start playback");
    if (!player_) return;
    // Played, not toggled: a stream loaded while the previous one played must not be paused by it.
    player_->play(false);
    if (auto host = delegate()) host->playerControllerDidChangeStatus(*this, ZuPlayerStatus::playing);
}

void ZuPlayerViewController::handleError(const foundation::Error& error) {
    debugLog("☣️ Error ", error);
    const auto* authentication = error.as<AuthenticationError>();
    if (authentication && authentication->isUnknown() && authentication->authManagerError()) {
        presentLogin();
        return;
    }
    reportFailure(error);
}

void ZuPlayerViewController::reportFailure(const foundation::Error& error) {
    if (auto host = delegate()) host->playerControllerDidFailWith(*this, error);
}

// ---- The login screen ----

const std::shared_ptr<LoginViewController>& ZuPlayerViewController::loginViewController() {
    if (!loginViewController_) {
        loginViewController_ = LoginViewController::create();
        loginViewController_->setDelegate(std::weak_ptr<LoginViewControllerDelegate>(sharedSelf()));
    }
    return loginViewController_;
}

bool ZuPlayerViewController::isLoginPresented() const {
    if (!loginViewController_) return false;
    auto navigation = loginViewController_->navigationController();
    return navigation && navigation->presentingViewController() != nullptr;
}

void ZuPlayerViewController::presentLogin() {
    // A second failure while the viewer is on the login screen (two chains, or a replay) shows nothing new.
    if (isLoginPresented()) return;
    auto navigation = uikit::UINavigationController::create(loginViewController());
    navigation->setIsNavigationBarHidden(true);
    navigation->presentationController()->setDelegate(
        std::weak_ptr<uikit::UIAdaptivePresentationControllerDelegate>(sharedSelf()));
    std::weak_ptr<ZuPlayerViewController> weak = weakSelf();
    presentAnimated(navigation, true, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto host = self->delegate()) host->playerControllerDidPresentLogin(*self);
    });
}

void ZuPlayerViewController::presentationControllerDidDismiss(uikit::UIPresentationController& presentationController) {
    if (auto host = delegate()) host->playerControllerDidDismissLogin(*this);
    // The host's navigation controller around this screen keeps a delegate of its own.
    if (auto navigation = navigationController()) {
        auto own = navigation->presentationController();
        auto* mine = static_cast<uikit::UIAdaptivePresentationControllerDelegate*>(this);
        if (own->delegate().lock().get() == mine) own->setDelegate({});
    }
    auto presented = presentationController.presentedViewController();
    debugLog("☣️ PresentationControllerDidDismiss ", presented ? presented->description() : std::string("(none)"));
}

void ZuPlayerViewController::loginViewControllerDidLogin(LoginViewController&) {
    if (auto host = delegate()) host->playerControllerDidLoginSuccessfully(*this);
    if (assetId_) play(*assetId_);
}

ErrorDisplayModel ZuPlayerViewController::errorDisplay(const AuthenticationError& error) {
    if (auto host = delegate()) return host->playerControllerErrorDisplayForAuthenticationError(*this, error);
    return ErrorDisplayModel(error);
}

void ZuPlayerViewController::loginViewControllerDidFailLoginWith(LoginViewController&,
                                                                 const AuthenticationError& error) {
    if (auto host = delegate()) host->playerControllerDidFailLoginWith(*this, error);
}

void ZuPlayerViewController::loginViewControllerDidClose(LoginViewController&) {
    if (auto host = delegate()) host->playerControllerDidDismissLogin(*this);
}

// ---- A refused player event ----

void ZuPlayerViewController::streamLimitExceeded() {
    if (auto host = delegate()) host->playerControllerDidExceedStreamLimit(*this);
}

}  // namespace lumora
