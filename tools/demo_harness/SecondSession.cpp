#include "SecondSession.h"

#include "authentication/ZuAuthManager.h"
#include "dispatch/DispatchQueue.h"
#include "playservice/VideoAPI.h"
#include "rx/Schedulers.h"
#include "telemetry/PlayerEventController.h"

namespace demoharness::detail {

std::shared_ptr<SecondSession> SecondSession::start(std::string email, std::string password, std::string assetId,
                                                    Hooks hooks) {
    auto session = std::shared_ptr<SecondSession>(
        new SecondSession(std::move(email), std::move(password), std::move(assetId), std::move(hooks)));
    session->signIn();
    return session;
}

SecondSession::SecondSession(std::string email, std::string password, std::string assetId, Hooks hooks)
    : email_(std::move(email)),
      password_(std::move(password)),
      assetId_(std::move(assetId)),
      hooks_(std::move(hooks)) {}

void SecondSession::signIn() {
    auto signedIn = std::make_shared<bool>(false);
    lumora::ZuAuthManager::shared()
        .login(email_, password_)
        .observeOn(rx::MainScheduler::asyncInstance())
        .subscribe([signedIn](bool value) { *signedIn = value; },
                   [weak = weak_from_this()](const foundation::Error& error) {
                       auto self = weak.lock();
                       if (!self) return;
                       self->hooks_.say("second session: the other device could not sign in (" +
                                        error.localizedDescription() + ")");
                       self->leave();
                   },
                   [weak = weak_from_this(), signedIn] {
                       auto self = weak.lock();
                       if (!self) return;
                       if (*signedIn) {
                           self->fetchStream();
                       } else {
                           self->leave();
                       }
                   })
        .disposed(bag_);
}

void SecondSession::fetchStream() {
    lumora::VideoAPI::shared()
        ->fetchStreamContent(assetId_)
        .observeOn(rx::MainScheduler::asyncInstance())
        .take(1)
        .subscribe(
            [weak = weak_from_this()](const lumora::AssetStreamContent& content) {
                if (auto self = weak.lock()) self->openSession(content);
            },
            [weak = weak_from_this()](const foundation::Error& error) {
                auto self = weak.lock();
                if (!self) return;
                self->hooks_.say("second session: the other device got no stream (" + error.localizedDescription() +
                                 ")");
                self->leave();
            })
        .disposed(bag_);
}

void SecondSession::openSession(const lumora::AssetStreamContent& content) {
    if (!content.playerEventParameter) {
        hooks_.say("second session: the asset reports no player events, so no session to open");
        leave();
        return;
    }
    auto dependencies = lumora::PlayerEventController::Dependencies::current();
    dependencies.deviceId = deviceId;
    controller_ = lumora::PlayerEventController::create(dependencies);
    lumora::PlayerEventData data{
        .state = lumora::PlayerEventState::playing,
        .vodPosition = 0.0f,
        .isOnLiveEdge = false,
        .eventNumber = 1,
        .playerEventUrl = content.playerEventParameter->playerEventUrl,
        .playerEventBody = content.playerEventParameter->playerEventBody,
        .auth0Token = content.accessToken,
        .streamUrl = content.resource,
    };
    const std::string id = content.id;
    controller_->makeEventBody(lumora::PlayerEventKind::start, data)
        .observeOn(rx::MainScheduler::asyncInstance())
        .take(1)
        .subscribe(
            [weak = weak_from_this(), id](const rx::Void&) {
                auto self = weak.lock();
                if (!self) return;
                self->hooks_.say(std::string("second session: another device (") + deviceId + ") is watching \"" + id +
                                 "\" for the same viewer");
                self->leave();
            },
            [weak = weak_from_this()](const foundation::Error& error) {
                auto self = weak.lock();
                if (!self) return;
                self->hooks_.say("second session: refused as well (" + error.localizedDescription() + ")");
                self->leave();
            })
        .disposed(bag_);
}

// The other device keeps watching; this one starts signed out.
void SecondSession::leave() {
    lumora::ZuAuthManager::shared().logout([weak = weak_from_this()](std::expected<void, foundation::Error>) {
        dispatch::DispatchQueue::main().async([weak] {
            auto self = weak.lock();
            if (self && self->hooks_.done) self->hooks_.done();
        });
    });
}

}  // namespace demoharness::detail
