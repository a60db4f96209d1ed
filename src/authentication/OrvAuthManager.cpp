#include "authentication/OrvAuthManager.h"

#include <utility>

#include "authentication/AuthenticationError.h"

namespace lumora {

namespace {

std::unexpected<foundation::Error> failure(AuthManagerError error) {
    return std::unexpected(foundation::Error(std::move(error)));
}

}  // namespace

std::shared_ptr<OrvAuthManager> OrvAuthManager::create(Dependencies dependencies) {
    if (!dependencies.now) dependencies.now = [] { return foundation::Date::now(); };
    return std::shared_ptr<OrvAuthManager>(new OrvAuthManager(std::move(dependencies)));
}

OrvAuthManager::OrvAuthManager(Dependencies dependencies)
    : dependencies_(std::move(dependencies)), queue_(dependencies_.queueLabelPrefix + ".OrvAuth.OrvAuthManager") {}

void OrvAuthManager::makeAccount(const std::shared_ptr<EntitlementTokenServiceType>& service,
                                 std::shared_ptr<const Account> identity, AccountCompletion completion) {
    service->fetchToken(identity->token(), [identity, completion = std::move(completion)](
                                               std::expected<IssuedEntitlementToken, foundation::Error> issued) {
        if (!issued) {
            if (issued.error().is<AuthManagerError>()) {
                completion(std::unexpected(issued.error()));
            } else {
                completion(failure(AuthManagerError::entitlementTokenFailed(issued.error().localizedDescription())));
            }
            return;
        }
        auto account = OrvAccount::make(std::move(issued->token), std::move(issued->tokenType),
                                        std::move(issued->scope), identity->refreshToken());
        if (!account) {
            completion(std::unexpected(account.error()));
            return;
        }
        completion(std::make_shared<const OrvAccount>(std::move(*account)));
    });
}

bool OrvAuthManager::isAuthenticated() const {
    return dependencies_.authManager->isAuthenticated();
}

std::shared_ptr<const Account> OrvAuthManager::currentAccount() const {
    return queue_.sync([&] { return account_; });
}

void OrvAuthManager::login(std::string email, std::string password, AccountCompletion completion) {
    std::weak_ptr<OrvAuthManager> weak = weak_from_this();
    dependencies_.authManager->login(std::move(email), std::move(password),
                                     [weak, service = dependencies_.entitlementTokenService,
                                      completion = std::move(completion)](AccountResult identity) mutable {
                                         if (!identity) {
                                             completion(std::move(identity));
                                             return;
                                         }
                                         makeAccount(service, *identity,
                                                     [weak, completion = std::move(completion)](AccountResult account) {
                                                         if (!account) {
                                                             completion(std::move(account));
                                                             return;
                                                         }
                                                         auto self = weak.lock();
                                                         if (!self) {
                                                             completion(failure(AuthManagerError::managerReleased()));
                                                             return;
                                                         }
                                                         self->queue_.sync([&] {
                                                             self->account_ = *account;
                                                             self->refresh_.invalidate();
                                                         });
                                                         completion(std::move(account));
                                                     });
                                     });
}

void OrvAuthManager::logout(VoidCompletion completion) {
    queue_.sync([&] {
        account_.reset();
        refresh_.invalidate();
    });
    dependencies_.authManager->logout(std::move(completion));
}

void OrvAuthManager::request(std::string email, VoidCompletion completion) {
    dependencies_.authManager->request(std::move(email), std::move(completion));
}

void OrvAuthManager::autoLogin(AccountCompletion completion) {
    refreshIfNeeded([completion = std::move(completion)](AccountResult result) {
        if (result && !*result) {
            completion(failure(AuthManagerError::notLoggedIn()));
            return;
        }
        completion(std::move(result));
    });
}

void OrvAuthManager::refreshIfNeeded(AccountCompletion completion) {
    std::shared_ptr<const Account> current;
    std::shared_ptr<detail::RefreshOnce::Flight> started;
    queue_.sync([&] {
        if (account_ && !account_->tokenExpiresWithin(kTokenRefreshMargin, dependencies_.now())) {
            current = account_;
            return;
        }
        started = refresh_.join(std::move(completion));
    });
    if (current) {
        completion(std::move(current));
        return;
    }
    if (!started) return;  // joined the refresh under way

    std::weak_ptr<OrvAuthManager> weak = weak_from_this();
    auto finish = [weak, started](AccountResult result) {
        if (auto self = weak.lock()) {
            self->finishRefresh(started, std::move(result));
            return;
        }
        // The manager is gone: nobody else can reach the waiters any more.
        detail::RefreshOnce::deliver(started->waiters, failure(AuthManagerError::managerReleased()));
    };
    // The provider's token first (refreshed itself when due), then a new entitlement token for it.
    dependencies_.authManager->refreshIfNeeded(
        [service = dependencies_.entitlementTokenService, finish](AccountResult identity) {
            if (!identity || !*identity) {
                finish(std::move(identity));
                return;
            }
            makeAccount(service, *identity, finish);
        });
}

void OrvAuthManager::finishRefresh(const std::shared_ptr<detail::RefreshOnce::Flight>& flight, AccountResult result) {
    std::vector<AccountCompletion> waiters;
    std::optional<AccountResult> answer;
    queue_.sync([&] {
        auto ending = refresh_.finish(flight);
        waiters = std::move(ending.waiters);
        if (!ending.current) {
            // Signed out or in again meanwhile: hand out what holds now.
            answer = AccountResult(account_);
            return;
        }
        if (result) {
            account_ = *result;  // nullptr when nobody is signed in any more
        } else if (const auto* error = result.error().as<AuthManagerError>();
                   error && (error->kind() == AuthManagerError::Kind::sessionExpired ||
                             error->kind() == AuthManagerError::Kind::notLoggedIn)) {
            account_.reset();
        }
        answer = std::move(result);
    });
    detail::RefreshOnce::deliver(waiters, *answer);
}

}  // namespace lumora
