#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "auth0/Credentials.h"
#include "foundation/Error.h"
#include "foundation/LogChannel.h"
#include "keychain/SimpleKeychain.h"

namespace auth0 {

// Failures of the credentials store.
class CredentialsManagerError {
  public:
    enum class Code { storeFailed, clearFailed, readFailed };

    static CredentialsManagerError storeFailed(foundation::Error cause) {
        return {Code::storeFailed, std::move(cause)};
    }
    static CredentialsManagerError clearFailed(foundation::Error cause) {
        return {Code::clearFailed, std::move(cause)};
    }
    static CredentialsManagerError readFailed(foundation::Error cause) { return {Code::readFailed, std::move(cause)}; }

    Code errorCode() const { return code_; }
    const foundation::Error& cause() const { return cause_; }
    // "Failed to store the credentials: ", "Failed to clear the credentials: ", "Failed to read the
    // credentials: ", each followed by the cause's description.
    std::string localizedDescription() const;
    std::string domain() const { return "auth0.CredentialsManagerError"; }
    int code() const { return static_cast<int>(code_); }

  private:
    CredentialsManagerError(Code code, foundation::Error cause) : code_(code), cause_(std::move(cause)) {}
    Code code_;
    foundation::Error cause_;
};

// Where log lines of the credentials store go (standard error by default); returns the previous handler.
using LogHandler = foundation::LogChannel::Handler;
LogHandler setLogHandler(LogHandler handler);

// Keeps the identity provider's credentials in the keychain under one key ("credentials" by default).
// Renewal is the caller's: it knows when credentials may be written back.
class CredentialsManager {
  public:
    static constexpr const char* defaultStoreKey = "credentials";

    explicit CredentialsManager(std::shared_ptr<const simplekeychain::SimpleKeychain> storage,
                                std::string storeKey = defaultStoreKey, std::function<foundation::Date()> now = {});

    const std::string& storeKey() const { return storeKey_; }

    std::expected<void, foundation::Error> store(const Credentials& credentials) const;
    // The stored credentials; nothing when there are none, or when the record cannot be read as
    // credentials (logged with the reason, never the contents). Errors are the keychain's own failures.
    std::expected<std::optional<Credentials>, foundation::Error> credentials() const;
    // Removes the stored credentials; nothing stored is not an error.
    std::expected<void, foundation::Error> clear() const;
    // Credentials are stored and either can be renewed (a refresh token) or do not expire within `minTTL`.
    bool hasValid(foundation::TimeInterval minTTL = 0) const;

  private:
    std::shared_ptr<const simplekeychain::SimpleKeychain> storage_;
    std::string storeKey_;
    std::function<foundation::Date()> now_;
};

}  // namespace auth0
