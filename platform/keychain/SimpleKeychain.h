#pragma once

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/LogChannel.h"

// A keychain for small secrets, kept in files:
//
//   simplekeychain::SimpleKeychain keychain("com.example.host");
//   if (auto stored = keychain.set(data, "credentials"); !stored) ...;
//   std::expected<foundation::Data, foundation::Error> data = keychain.data("credentials");
//
// Each item (service, key) is one file in the keychain folder: the folder named by the constructor, else
// $LUMORA_KEYCHAIN_DIR, else $XDG_DATA_HOME/lumora/keychain, else $HOME/.local/share/lumora/keychain.
// The folder is made with mode 0700 and each file with mode 0600; an existing folder of the user's that
// others may read or write is tightened to 0700. A folder or an item file that the effective user does not
// own is refused (storageFailure, naming its owner): its owner could have planted any item in it. `set` writes a
// temporary file, flushes it to disk and renames it over the old one, so a crash leaves the old item or the new one,
// never half of either; the next `set` removes the temporary files of writers that died before their rename. An item
// whose file is truncated or damaged, or that is not a regular file (a link, a FIFO, a folder), reads as absent
// (itemNotFound) without blocking; the reason goes to the log handler. Item contents are never logged.
namespace simplekeychain {

class SimpleKeychainError {
  public:
    enum class Code {
        // No item for the key (or only a damaged one).
        itemNotFound,
        // The key is empty.
        invalidKey,
        // The item could not be read or written (no folder, permissions, disk full...).
        storageFailure,
    };

    static SimpleKeychainError itemNotFound() { return SimpleKeychainError(Code::itemNotFound, {}); }
    static SimpleKeychainError invalidKey() { return SimpleKeychainError(Code::invalidKey, {}); }
    static SimpleKeychainError storageFailure(std::string reason) {
        return SimpleKeychainError(Code::storageFailure, std::move(reason));
    }

    Code errorCode() const { return code_; }
    const std::string& reason() const { return reason_; }
    // "No keychain item was found for the key.", "The keychain key is empty.",
    // "The keychain could not be used: " + reason.
    std::string localizedDescription() const;
    std::string domain() const { return "simplekeychain.SimpleKeychainError"; }
    int code() const { return static_cast<int>(code_); }

  private:
    SimpleKeychainError(Code code, std::string reason) : code_(code), reason_(std::move(reason)) {}
    Code code_;
    std::string reason_;
};

// Where log lines of the keychain go (standard error by default). Returns the previous handler; an empty
// handler restores the default.
using LogHandler = foundation::LogChannel::Handler;
LogHandler setLogHandler(LogHandler handler);

class SimpleKeychain {
  public:
    // Items of `service` in `directory`, or in the default folder (see above) when none is given.
    explicit SimpleKeychain(std::string service, std::optional<std::string> directory = std::nullopt);

    // The default folder from the environment; nothing when none of the variables is set.
    static std::optional<std::string> defaultDirectory();

    const std::string& service() const { return service_; }
    // The folder in use (empty when there is none, and every call then fails with storageFailure).
    const std::string& directory() const { return directory_; }

    std::expected<void, foundation::Error> set(const foundation::Data& data, std::string_view key) const;
    std::expected<void, foundation::Error> set(std::string_view string, std::string_view key) const;
    // The item's bytes; itemNotFound when there is none or it is damaged.
    std::expected<foundation::Data, foundation::Error> data(std::string_view key) const;
    std::expected<std::string, foundation::Error> string(std::string_view key) const;
    // Removes the item; itemNotFound when there was none.
    std::expected<void, foundation::Error> delete_(std::string_view key) const;
    // Whether an intact item exists.
    std::expected<bool, foundation::Error> has(std::string_view key) const;

    // The file that holds the item of `key`.
    std::string itemPath(std::string_view key) const;

  private:
    std::string service_;
    std::string directory_;
};

}  // namespace simplekeychain
