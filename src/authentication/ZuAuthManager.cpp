#include "authentication/ZuAuthManager.h"

#include "authentication/AuthenticationError.h"
#include "authentication/LumoraAuthManager.h"
#include "dispatch/DispatchQueue.h"

namespace lumora {

namespace {

// The facade's error for a signed-in account that may not play; nothing for an active one. Every status
// that does not allow playback ("inactive", "incomplete") ends the same way: `inactiveAccount`.
std::optional<AuthenticationError> statusError(const Account& account) {
    if (account.status() == AccountStatus::active) return std::nullopt;
    return AuthenticationError::inactiveAccount();
}

}  // namespace

ZuAuthManager& ZuAuthManager::shared() {
    static ZuAuthManager* instance = new ZuAuthManager();
    return *instance;
}

ZuAuthManager::ZuAuthManager() : ZuAuthManager([] { return LumoraAuthManager::shared().authManager(); }) {}

ZuAuthManager::ZuAuthManager(AuthManagerProvider provider) : provider_(std::move(provider)) {}

bool ZuAuthManager::isAuthenticated() const {
    return provider_()->isAuthenticated();
}

void ZuAuthManager::authenticationStatus(
    bool shouldRefresh, std::function<void(std::expected<bool, foundation::Error>)> completionHandler) const {
    provider_()->authenticationStatus(shouldRefresh, [completionHandler = std::move(completionHandler)](
                                                         std::expected<bool, foundation::Error> status) {
        dispatch::DispatchQueue::main().async([completionHandler, status = std::move(status)] {
            if (completionHandler) completionHandler(status);
        });
    });
}

void ZuAuthManager::logout(std::function<void(std::expected<void, foundation::Error>)> completionHandler) const {
    provider_()->logout([completionHandler = std::move(completionHandler)](VoidResult result) {
        dispatch::DispatchQueue::main().async([completionHandler, result = std::move(result)] {
            if (completionHandler) completionHandler(result);
        });
    });
}

rx::Observable<bool> ZuAuthManager::login(std::string email, std::string password) const {
    return rx::Observable<bool>::create([provider = provider_, email = std::move(email),
                                         password = std::move(password)](const rx::AnyObserver<bool>& observer) {
        provider()->login(email, password, [observer](AccountResult result) {
            if (!result) {
                observer.onError(AuthenticationError::unknown(result.error()));
                return;
            }
            if (auto refused = statusError(**result)) {
                observer.onError(*refused);
                return;
            }
            observer.onNext(true);
            observer.onCompleted();
        });
        return rx::Disposable();
    });
}

rx::Observable<rx::Void> ZuAuthManager::resetPassword(std::string email) const {
    return rx::Observable<rx::Void>::create(
        [provider = provider_, email = std::move(email)](const rx::AnyObserver<rx::Void>& observer) {
            provider()->request(email, [observer](VoidResult result) {
                dispatch::DispatchQueue::main().async([observer, result = std::move(result)] {
                    if (!result) {
                        observer.onError(result.error());
                        return;
                    }
                    observer.onNext(rx::Void{});
                    observer.onCompleted();
                });
            });
            return rx::Disposable();
        });
}

rx::Observable<rx::Void> ZuAuthManager::autoLogin() const {
    return rx::Observable<rx::Void>::create([provider = provider_](const rx::AnyObserver<rx::Void>& observer) {
        provider()->autoLogin([observer](AccountResult result) {
            dispatch::DispatchQueue::main().async([observer, result = std::move(result)] {
                if (!result) {
                    observer.onError(AuthenticationError::unknown(result.error()));
                    return;
                }
                if (auto refused = statusError(**result)) {
                    observer.onError(*refused);
                    return;
                }
                observer.onNext(rx::Void{});
                observer.onCompleted();
            });
        });
        return rx::Disposable();
    });
}

}  // namespace lumora
