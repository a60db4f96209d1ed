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

    // The viewer may not watch this asset (API error "3003"), with the service's message.
    static PlayableAssetManagerError unauthorizedAccess(std::optional<std::string> message);
    // Anything else: the play service's error, a mapping error...
    static PlayableAssetManagerError generic(foundation::Error error);
    static PlayableAssetManagerError invalidAssetID();
    // The service refused the viewer's token (API error "1006").
    static PlayableAssetManagerError invalidAuthentication();

    Kind kind() const { return kind_; }
    bool isUnauthorizedAccess() const { return kind_ == Kind::unauthorizedAccess; }
    bool isGeneric() const { return kind_ == Kind::generic; }
    bool isInvalidAssetID() const { return kind_ == Kind::invalidAssetID; }
    bool isInvalidAuthentication() const { return kind_ == Kind::invalidAuthentication; }

    // The message of unauthorizedAccess.
    const std::optional<std::string>& message() const { return message_; }
    // The error of generic.
    const std::optional<foundation::Error>& genericError() const { return error_; }

    // "Unauthorized access" (+ ": " + message), the generic error's description, "Invalid asset ID",
    // "Invalid authentication".
    std::string localizedDescription() const;

  private:
    explicit PlayableAssetManagerError(Kind kind) : kind_(kind) {}
    Kind kind_;
    std::optional<std::string> message_;
    std::optional<foundation::Error> error_;
};

}  // namespace lumora
