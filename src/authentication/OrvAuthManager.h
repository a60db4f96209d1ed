#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "authentication/EntitlementTokenService.h"
#include "authentication/UseCases.h"
#include "authentication/detail/RefreshOnce.h"
#include "dispatch/DispatchQueue.h"

namespace lumora {

// The account manager: the kit's own account. Signs in through the identity provider's manager, then
// exchanges the provider's access token for an entitlement token and maps it to an `OrvAccount`. It holds
// that account in memory (the identity provider's credentials are what persists), and makes it again from
// the stored credentials after a restart. A token that expires within 30 seconds of now is refreshed
// first (the provider's credentials first when they are due themselves); callers that ask meanwhile share
// that one refresh.
//
// Its state is guarded by its own serial queue, entered synchronously, labelled `queueLabelPrefix` +
// ".OrvAuth.OrvAuthManager".
class OrvAuthManager final : public AuthManagerType, public std::enable_shared_from_this<OrvAuthManager> {
  public:
    struct Dependencies {
        // The identity provider's manager (an AuthManager).
        std::shared_ptr<AuthManagerType> authManager;
        std::shared_ptr<EntitlementTokenServiceType> entitlementTokenService;
        std::string queueLabelPrefix = "dev.lumora";
        std::function<foundation::Date()> now;
    };

    static std::shared_ptr<OrvAuthManager> create(Dependencies dependencies);

    const dispatch::DispatchQueue& queue() const { return queue_; }
    const std::shared_ptr<AuthManagerType>& authManager() const { return dependencies_.authManager; }

    bool isAuthenticated() const override;
    void login(std::string email, std::string password, AccountCompletion completion) override;
    void logout(VoidCompletion completion) override;
    void request(std::string email, VoidCompletion completion) override;
    void autoLogin(AccountCompletion completion) override;
    void refreshIfNeeded(AccountCompletion completion) override;
    std::shared_ptr<const Account> currentAccount() const override;

  private:
    explicit OrvAuthManager(Dependencies dependencies);

    // The entitlement token for the provider's account, as an OrvAccount.
    static void makeAccount(const std::shared_ptr<EntitlementTokenServiceType>& service,
                            std::shared_ptr<const Account> identity, AccountCompletion completion);
    void finishRefresh(const std::shared_ptr<detail::RefreshOnce::Flight>& flight, AccountResult result);

    Dependencies dependencies_;
    mutable dispatch::DispatchQueue queue_;
    // Guarded by queue_.
    std::shared_ptr<const Account> account_;
    detail::RefreshOnce refresh_;
};

}  // namespace lumora
