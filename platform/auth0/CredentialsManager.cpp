#include "auth0/CredentialsManager.h"

#include <utility>

#include "foundation/LogChannel.h"

namespace auth0 {

namespace {

foundation::LogChannel& channel() {
    static auto* logChannel = new foundation::LogChannel("Auth0");  // never destroyed: read from worker threads until exit
    return *logChannel;
}

void log(const std::string& line) {
    channel().log(line);
}

bool isItemNotFound(const foundation::Error& error) {
    const auto* keychainError = error.as<simplekeychain::SimpleKeychainError>();
    return keychainError && keychainError->errorCode() == simplekeychain::SimpleKeychainError::Code::itemNotFound;
}

}  // namespace

std::string CredentialsManagerError::localizedDescription() const {
    switch (code_) {
        case Code::storeFailed:
            return "Failed to store the credentials: " + cause_.localizedDescription();
        case Code::clearFailed:
            return "Failed to clear the credentials: " + cause_.localizedDescription();
        case Code::readFailed:
            return "Failed to read the credentials: " + cause_.localizedDescription();
    }
    return cause_.localizedDescription();
}

LogHandler setLogHandler(LogHandler handler) {
    return channel().setHandler(std::move(handler));
}

CredentialsManager::CredentialsManager(std::shared_ptr<const simplekeychain::SimpleKeychain> storage,
                                       std::string storeKey, std::function<foundation::Date()> now)
    : storage_(std::move(storage)), storeKey_(std::move(storeKey)), now_(std::move(now)) {
    if (!now_) now_ = [] { return foundation::Date::now(); };
}

std::expected<void, foundation::Error> CredentialsManager::store(const Credentials& credentials) const {
    auto data = encodeStoredCredentials(credentials);
    if (!data) return std::unexpected(foundation::Error(CredentialsManagerError::storeFailed(data.error())));
    if (auto stored = storage_->set(*data, storeKey_); !stored) {
        return std::unexpected(foundation::Error(CredentialsManagerError::storeFailed(stored.error())));
    }
    return {};
}

std::expected<std::optional<Credentials>, foundation::Error> CredentialsManager::credentials() const {
    auto data = storage_->data(storeKey_);
    if (!data) {
        if (isItemNotFound(data.error())) return std::optional<Credentials>();
        return std::unexpected(foundation::Error(CredentialsManagerError::readFailed(data.error())));
    }
    auto credentials = decodeStoredCredentials(*data);
    if (!credentials) {
        log("the stored credentials under \"" + storeKey_ + "\" cannot be read (" +
            describeDecodingFailure(credentials.error()) + "); they count as none");
        return std::optional<Credentials>();
    }
    return std::optional<Credentials>(std::move(*credentials));
}

std::expected<void, foundation::Error> CredentialsManager::clear() const {
    if (auto removed = storage_->delete_(storeKey_); !removed && !isItemNotFound(removed.error())) {
        return std::unexpected(foundation::Error(CredentialsManagerError::clearFailed(removed.error())));
    }
    return {};
}

bool CredentialsManager::hasValid(foundation::TimeInterval minTTL) const {
    auto stored = credentials();
    if (!stored || !*stored) return false;
    const Credentials& credentials = **stored;
    return credentials.refreshToken.has_value() || !credentials.expiresWithin(minTTL, now_());
}

}  // namespace auth0
