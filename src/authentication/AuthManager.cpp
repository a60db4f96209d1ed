#include "authentication/AuthManager.h"

#include <utility>

#include "authentication/AuthenticationError.h"
#include "kitfoundation/Log.h"

namespace lumora {

namespace {

std::shared_ptr<const Account> accountOf(const auth0::Credentials& credentials) {
    return std::make_shared<const Auth0Account>(credentials);
}

std::unexpected<foundation::Error> failure(AuthManagerError error) {
    return std::unexpected(foundation::Error(std::move(error)));
}

const auth0::AuthenticationError* providerError(const foundation::Error& error) {
    return error.as<auth0::AuthenticationError>();
}

}  // namespace

std::shared_ptr<AuthManager> AuthManager::create(Dependencies dependencies) {
    if (!dependencies.now) dependencies.now = [] { return foundation::Date::now(); };
    return std::shared_ptr<AuthManager>(new AuthManager(std::move(dependencies)));
}

AuthManager::AuthManager(Dependencies dependencies)
    : dependencies_(std::move(dependencies)), queue_(dependencies_.queueLabelPrefix + ".OrvAuth.AuthManager") {}

std::optional<foundation::Error> AuthManager::loadLocked() const {
    if (loaded_) return std::nullopt;
    auto stored = dependencies_.credentialsManager->credentials();
    if (!stored) return stored.error();
    credentials_ = std::move(*stored);
    loaded_ = true;
    return std::nullopt;
}

bool AuthManager::isAuthenticated() const {
    return queue_.sync([&] {
        if (loadLocked() || !credentials_) return false;
        return credentials_->refreshToken.has_value() || !credentials_->expiresWithin(0, dependencies_.now());
    });
}

std::shared_ptr<const Account> AuthManager::currentAccount() const {
    return queue_.sync([&]() -> std::shared_ptr<const Account> {
        if (loadLocked() || !credentials_) return nullptr;
        return accountOf(*credentials_);
    });
}

void AuthManager::login(std::string email, std::string password, AccountCompletion completion) {
    std::weak_ptr<AuthManager> weak = weak_from_this();
    dependencies_.authentication->login(
        std::move(email), std::move(password), dependencies_.connection, dependencies_.audience, dependencies_.scope,
        [weak, completion = std::move(completion)](std::expected<auth0::Credentials, foundation::Error> result) {
            if (!result) {
                const auto* refusal = providerError(result.error());
                if (refusal && refusal->isInvalidCredentials()) {
                    completion(failure(AuthManagerError::invalidCredentials()));
                } else {
                    completion(failure(AuthManagerError::loginFailed(result.error().localizedDescription())));
                }
                return;
            }
            auto self = weak.lock();
            if (!self) {
                completion(failure(AuthManagerError::managerReleased()));
                return;
            }
            auto stored = self->queue_.sync([&]() -> std::optional<foundation::Error> {
                if (auto saved = self->dependencies_.credentialsManager->store(*result); !saved) return saved.error();
                self->credentials_ = *result;
                self->loaded_ = true;
                self->refresh_.invalidate();
                return std::nullopt;
            });
            if (stored) {
                completion(failure(AuthManagerError::credentialsStoreFailed(stored->localizedDescription())));
                return;
            }
            completion(accountOf(*result));
        });
}

void AuthManager::logout(VoidCompletion completion) {
    std::optional<std::string> refreshToken;
    std::optional<std::string> clearFailure;
    queue_.sync([&] {
        loadLocked();
        if (credentials_) refreshToken = credentials_->refreshToken;
        credentials_.reset();
        loaded_ = true;
        refresh_.invalidate();
        if (auto cleared = dependencies_.credentialsManager->clear(); !cleared)
            clearFailure = cleared.error().localizedDescription();
    });
    if (!refreshToken) {
        if (clearFailure) {
            completion(failure(AuthManagerError::logoutFailed(*clearFailure)));
        } else {
            completion({});
        }
        return;
    }
    dependencies_.authentication->revoke(std::move(*refreshToken), [clearFailure, completion = std::move(completion)](
                                                                       std::expected<void, foundation::Error> revoked) {
        if (clearFailure) {
            completion(failure(AuthManagerError::logoutFailed(*clearFailure)));
        } else if (!revoked) {
            completion(failure(AuthManagerError::logoutFailed(revoked.error().localizedDescription())));
        } else {
            completion({});
        }
    });
}

void AuthManager::request(std::string email, VoidCompletion completion) {
    if (email.empty()) {
        completion(failure(AuthManagerError::resetPasswordFailed("No e-mail address was given.")));
        return;
    }
    dependencies_.authentication->resetPassword(
        std::move(email), dependencies_.connection,
        [completion = std::move(completion)](std::expected<void, foundation::Error> result) {
            if (!result) {
                completion(failure(AuthManagerError::resetPasswordFailed(result.error().localizedDescription())));
                return;
            }
            completion({});
        });
}

void AuthManager::autoLogin(AccountCompletion completion) {
    refreshIfNeeded([completion = std::move(completion)](AccountResult result) {
        if (result && !*result) {
            completion(failure(AuthManagerError::notLoggedIn()));
            return;
        }
        completion(std::move(result));
    });
}

void AuthManager::refreshIfNeeded(AccountCompletion completion) {
    std::optional<AccountResult> answer;
    std::shared_ptr<detail::RefreshOnce::Flight> started;
    std::string refreshToken;
    queue_.sync([&] {
        if (auto unreadable = loadLocked()) {
            answer = failure(AuthManagerError::credentialsReadFailed(unreadable->localizedDescription()));
            return;
        }
        if (!credentials_) {
            answer = AccountResult(nullptr);
            return;
        }
        if (!credentials_->expiresWithin(kTokenRefreshMargin, dependencies_.now())) {
            answer = AccountResult(accountOf(*credentials_));
            return;
        }
        if (!credentials_->refreshToken) {
            answer = failure(AuthManagerError::refreshTokenMissing());
            return;
        }
        started = refresh_.join(std::move(completion));
        if (started) refreshToken = *credentials_->refreshToken;
    });
    if (answer) {
        completion(std::move(*answer));
        return;
    }
    if (!started) return;  // joined the refresh under way

    std::weak_ptr<AuthManager> weak = weak_from_this();
    dependencies_.authentication->renew(
        refreshToken, std::nullopt,
        [weak, started, refreshToken](std::expected<auth0::Credentials, foundation::Error> result) {
            if (auto self = weak.lock()) {
                self->finishRefresh(started, refreshToken, std::move(result));
                return;
            }
            // The manager is gone: nobody else can reach the waiters any more.
            detail::RefreshOnce::deliver(started->waiters, failure(AuthManagerError::managerReleased()));
        });
}

void AuthManager::finishRefresh(const std::shared_ptr<detail::RefreshOnce::Flight>& flight,
                                std::string usedRefreshToken,
                                std::expected<auth0::Credentials, foundation::Error> result) {
    std::vector<AccountCompletion> waiters;
    std::optional<AccountResult> answer;
    std::optional<std::string> storeFailure;
    queue_.sync([&] {
        auto ending = refresh_.finish(flight);
        waiters = std::move(ending.waiters);
        if (!ending.current) {
            // Signed out or in again meanwhile: this refresh belongs to credentials that are gone.
            answer = credentials_ ? AccountResult(accountOf(*credentials_)) : AccountResult(nullptr);
            return;
        }
        if (result) {
            auth0::Credentials renewed = std::move(*result);
            if (!renewed.refreshToken) renewed.refreshToken = std::move(usedRefreshToken);
            if (auto saved = dependencies_.credentialsManager->store(renewed); !saved) {
                storeFailure = saved.error().localizedDescription();
            }
            credentials_ = renewed;
            answer = AccountResult(accountOf(renewed));
            return;
        }
        const auto* refusal = providerError(result.error());
        if (refusal && refusal->isRefreshTokenDeleted()) {
            // The provider has forgotten this session: the stored credentials can never work again.
            credentials_.reset();
            refresh_.invalidate();
            dependencies_.credentialsManager->clear();
            answer = failure(AuthManagerError::sessionExpired());
            return;
        }
        answer = failure(AuthManagerError::refreshFailed(result.error().localizedDescription()));
    });
    if (storeFailure) {
        // The renewed credentials still work for this run; the stored refresh token stays valid for the next.
        debugLog("Could not store the refreshed credentials:", *storeFailure);
    }
    detail::RefreshOnce::deliver(waiters, *answer);
}

}  // namespace lumora
