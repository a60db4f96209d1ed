#include "playback/DRMError.h"

#include <cctype>
#include <utility>

namespace lumora {

struct DRMError::Detail {
    std::string reason;
    std::optional<foundation::Error> underlying;
};

DRMError::DRMError(Case value, std::string reason, std::optional<foundation::Error> underlying)
    : value_(value), detail_(std::make_shared<const Detail>(Detail{std::move(reason), std::move(underlying)})) {}

std::optional<DRMError> DRMError::fromRawValue(int rawValue) {
    if (rawValue < invalidKeyRequest || rawValue > licenseRefused) return std::nullopt;
    return DRMError(static_cast<Case>(rawValue));
}

const std::string& DRMError::reason() const {
    static const std::string none;
    return detail_ ? detail_->reason : none;
}

std::optional<foundation::Error> DRMError::underlying() const {
    if (!detail_) return std::nullopt;
    return detail_->underlying;
}

std::string DRMError::localizedDescription() const {
    const std::string code = std::string("(") + errorDomain + " error " + std::to_string(rawValue()) + ".)";
    const std::string& why = reason();
    if (why.empty()) return "The operation couldn\u2019t be completed. " + code;
    std::string sentence = why;
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    return sentence + ". " + code;
}

}  // namespace lumora
