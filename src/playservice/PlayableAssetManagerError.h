#pragma once

#include <optional>
#include <string>
#include <variant>

#include "foundation/Error.h"

namespace lumora {

// The failures of the play road as the playable-asset manager reports them.
class PlayableAssetManagerError {
  public:
    enum class Kind { unauthorizedAccess, generic, invalidAssetID, invalidAuthentication };

    // The viewer may not watch this asset (API error "3003"), with the service's message and, when known, the
    // service's refusal it was read from.
    static PlayableAssetManagerError unauthorizedAccess(std::optional<std::string> message,
                                                        std::optional<foundation::Error> refusal = std::nullopt);
    // Anything else: the play service's error, a mapping error...
    static PlayableAssetManagerError generic(foundation::Error error);
    static PlayableAssetManagerError invalidAssetID();
    // The service refused the viewer's token (API error "1006"), with the refusal when known.
    static PlayableAssetManagerError invalidAuthentication(std::optional<foundation::Error> refusal = std::nullopt);

    Kind kind() const { return kind_; }
    bool isUnauthorizedAccess() const { return kind_ == Kind::unauthorizedAccess; }
    bool isGeneric() const { return kind_ == Kind::generic; }
    bool isInvalidAssetID() const { return kind_ == Kind::invalidAssetID; }
    bool isInvalidAuthentication() const { return kind_ == Kind::invalidAuthentication; }

    // The message of unauthorizedAccess.
    const std::optional<std::string>& message() const { return message_; }
    // The error of generic.
    const std::optional<foundation::Error>& genericError() const { return error_; }
    // What this error was made from: the error of generic, the service's refusal of unauthorizedAccess and
    // invalidAuthentication (when known).
    const std::optional<foundation::Error>& underlyingError() const { return isGeneric() ? error_ : refusal_; }

    // "Unauthorized access" (+ ": " + message), the generic error's description, "Invalid asset ID",
    // "Invalid authentication".
    std::string localizedDescription() const;

  private:
    explicit PlayableAssetManagerError(Kind kind) : kind_(kind) {}
    Kind kind_;
    std::optional<std::string> message_;
    std::optional<foundation::Error> error_;
    std::optional<foundation::Error> refusal_;
};

}  // namespace lumora
