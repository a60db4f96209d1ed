#include "authentication/LumoraAuthManager.h"

#include "auth0/Authentication.h"
#include "auth0/CredentialsManager.h"
#include "authentication/AuthManager.h"
#include "authentication/AuthenticationError.h"
#include "authentication/EntitlementTokenService.h"
#include "authentication/OrvAuthManager.h"
#include "keychain/SimpleKeychain.h"
#include "kitfoundation/networking/NetworkRequestHandler.h"
#include "kitfoundation/networking/NetworkService.h"

namespace lumora {

namespace {

// Stands in for a stack that cannot be built: every operation says why.
class UnconfiguredAuthManager final : public AuthManagerType {
  public:
    explicit UnconfiguredAuthManager(std::string reason) : reason_(std::move(reason)) {}

    bool isAuthenticated() const override { return false; }
    void authenticationStatus(bool, StatusCompletion completion) override { completion(std::unexpected(error())); }
    void login(std::string, std::string, AccountCompletion completion) override {
        completion(std::unexpected(error()));
    }
    void logout(VoidCompletion completion) override { completion(std::unexpected(error())); }
    void request(std::string, VoidCompletion completion) override { completion(std::unexpected(error())); }
    void autoLogin(AccountCompletion completion) override { completion(std::unexpected(error())); }
    void refreshIfNeeded(AccountCompletion completion) override { completion(std::unexpected(error())); }
    std::shared_ptr<const Account> currentAccount() const override { return nullptr; }

  private:
    foundation::Error error() const { return AuthManagerError::invalidConfiguration(reason_); }
    std::string reason_;
};

}  // namespace

std::shared_ptr<AuthManagerType> LumoraAuthFactory::makeAuthManager(const AuthConfiguration& configuration,
                                                                    Collaborators collaborators) {
    auto providerURL = configuration.identityProviderURL();
    if (!providerURL) {
        return std::make_shared<UnconfiguredAuthManager>("The identity provider's domain \"" + configuration.domain +
                                                         "\" is not an address.");
    }
    if (!foundation::URL::fromString(configuration.entitlementServiceURL)) {
        return std::make_shared<UnconfiguredAuthManager>("The entitlement-token service address \"" +
                                                         configuration.entitlementServiceURL + "\" is not an address.");
    }
    if (!collaborators.session) collaborators.session = foundation::URLSession::shared();
    if (!collaborators.now) collaborators.now = [] { return foundation::Date::now(); };

    auto authentication =
        auth0::Authentication::create(configuration.clientId, *providerURL, collaborators.session, collaborators.now);
    auto keychain = std::make_shared<const simplekeychain::SimpleKeychain>(configuration.keychainService,
                                                                           configuration.keychainDirectory);
    auto credentialsManager = std::make_shared<const auth0::CredentialsManager>(
        keychain, auth0::CredentialsManager::defaultStoreKey, collaborators.now);
    auto authManager = AuthManager::create({.authentication = authentication,
                                            .credentialsManager = credentialsManager,
                                            .connection = configuration.connection,
                                            .queueLabelPrefix = configuration.queueLabelPrefix,
                                            .now = collaborators.now});

    foundation::JSONDecoder decoder;
    decoder.keyDecodingStrategy = foundation::KeyDecodingStrategy::convertFromSnakeCase;
    auto networkService =
        NetworkService::create(URLSessionNetworkRequestHandler::create(collaborators.session), {}, decoder);
    auto entitlementService = EntitlementTokenService::create(networkService, configuration.entitlementServiceURL,
                                                              configuration.entitlementClientId,
                                                              configuration.entitlementScope, collaborators.now);
    return OrvAuthManager::create({.authManager = authManager,
                                   .entitlementTokenService = entitlementService,
                                   .queueLabelPrefix = configuration.queueLabelPrefix,
                                   .now = collaborators.now});
}

LumoraAuthManager& LumoraAuthManager::shared() {
    static LumoraAuthManager* instance =
        new LumoraAuthManager(LumoraAuthFactory::makeAuthManager(AuthConfiguration::main()));
    return *instance;
}

LumoraAuthManager::LumoraAuthManager(std::shared_ptr<AuthManagerType> authManager) : state_(std::make_shared<State>()) {
    state_->authManager = std::move(authManager);
}

std::shared_ptr<AuthManagerType> LumoraAuthManager::authManager() const {
    std::lock_guard lock(state_->mutex);
    return state_->authManager;
}

void LumoraAuthManager::setAuthManager(std::shared_ptr<AuthManagerType> authManager) {
    std::lock_guard lock(state_->mutex);
    state_->authManager = std::move(authManager);
}

rx::Observable<std::optional<std::string>> LumoraAuthManager::accessToken() const {
    return rx::Observable<std::optional<std::string>>::create(
        [state = state_](const rx::AnyObserver<std::optional<std::string>>& observer) {
            std::shared_ptr<AuthManagerType> manager;
            {
                std::lock_guard lock(state->mutex);
                manager = state->authManager;
            }
            manager->refreshIfNeeded([observer](AccountResult result) {
                if (!result) {
                    observer.onError(result.error());
                    return;
                }
                observer.onNext(*result ? std::optional<std::string>((*result)->token()) : std::nullopt);
                observer.onCompleted();
            });
            return rx::Disposable();
        });
}

}  // namespace lumora
