#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "authentication/AuthConfiguration.h"
#include "authentication/UseCases.h"
#include "foundation/URLSession.h"
#include "rx/Observable.h"

namespace lumora {

// The composition root of the sign-in stack: builds the identity provider's client, the keychain and
// credentials manager, the authentication manager, the entitlement-token service and the account manager
// on top, wired together.
struct LumoraAuthFactory {
    // What a stack may be built with besides its configuration (tests use a fresh one per test).
    struct Collaborators {
        // The session of every request of the stack; nothing: the shared session.
        std::shared_ptr<foundation::URLSession> session;
        // The wall clock of token expiry; nothing: the one clock's.
        std::function<foundation::Date()> now;
    };

    // The account manager (`OrvAuthManager`) over the authentication manager. A configuration whose
    // identity-provider domain or token-service address is not a URL gives a manager whose every
    // operation fails with AuthManagerError::invalidConfiguration (and which reports nobody signed in).
    static std::shared_ptr<AuthManagerType> makeAuthManager(const AuthConfiguration& configuration,
                                                            Collaborators collaborators = {});
};

// The one shared holder of the built authentication manager, through which the rest of the kit reaches
// the sign-in stack.
class LumoraAuthManager {
  public:
    // Made on first use, with the manager that LumoraAuthFactory builds from AuthConfiguration::main().
    static LumoraAuthManager& shared();

    explicit LumoraAuthManager(std::shared_ptr<AuthManagerType> authManager);
    LumoraAuthManager(const LumoraAuthManager&) = delete;
    LumoraAuthManager& operator=(const LumoraAuthManager&) = delete;

    std::shared_ptr<AuthManagerType> authManager() const;
    // Replaces the manager (a test's own stack, or a host's); later calls and subscriptions use it.
    void setAuthManager(std::shared_ptr<AuthManagerType> authManager);

    // The access token of the signed-in account: per subscription, one element then completion. The
    // account's token (for the kit's own account, its entitlement token), refreshed first when it expires
    // within 30 seconds of now; nothing when nobody is signed in. A failed refresh ends the subscription
    // with the AuthManagerError. Elements come on the thread where the manager answered (a network worker
    // after a refresh).
    rx::Observable<std::optional<std::string>> accessToken() const;

  private:
    struct State {
        mutable std::mutex mutex;  // guards authManager
        std::shared_ptr<AuthManagerType> authManager;
    };
    std::shared_ptr<State> state_;
};

}  // namespace lumora
