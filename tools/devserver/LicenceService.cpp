#include "devserver/LicenceService.h"

#include <openssl/evp.h>

#include <array>

namespace devserver {

namespace {

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0x0f];
    }
    return out;
}

Reply refusal(int status, int code, std::string_view message) {
    return Reply::json(status, nlohmann::json{{"code", code}, {"message", message}}.dump());
}

}  // namespace

namespace licence {

std::string defaultCertificate() {
    // A fixed, recognisable certificate: the same bytes in every run.
    std::string certificate = "LUMORA-DEVSERVER-FAIRPLAY-CERTIFICATE-1\n";
    for (int i = 0; i < 32; ++i) certificate += sha256Hex("lumora-certificate-block-" + std::to_string(i));
    return certificate;
}

std::string serverPlaybackContext(std::string_view certificate, std::string_view contentId) {
    return "SPC1:" + sha256Hex(std::string(certificate) + std::string(contentId));
}

std::string contentKeyContext(std::string_view spc, std::string_view keyId) {
    return "CKC1:" + sha256Hex("CKC1" + std::string(spc) + std::string(keyId));
}

}  // namespace licence

LicenceService::LicenceService(LicenceOptions options) : options_(std::move(options)) {
    if (!options_.verifyToken) {
        options_.verifyToken = [](std::string_view token) -> std::optional<nlohmann::json> {
            if (token.empty()) return std::nullopt;
            return nlohmann::json{{"sub", std::string(token)}};
        };
    }
}

std::shared_ptr<LicenceService> LicenceService::create(LicenceOptions options) {
    return std::shared_ptr<LicenceService>(new LicenceService(std::move(options)));
}

void LicenceService::registerRoutes(Router& router) {
    router.add("GET", options_.certificatePath, [this](const RecordedRequest&) {
        return Reply{.status = 200, .body = options_.certificate, .contentType = "application/octet-stream"};
    });
    router.add("POST", options_.licencePath, [this](const RecordedRequest& request) { return licence(request); });
}

void LicenceService::setEntitled(const std::string& account, bool entitled) {
    std::lock_guard lock(mutex_);
    if (entitled) {
        notEntitled_.erase(account);
    } else {
        notEntitled_.insert(account);
    }
}

void LicenceService::scriptRefusal(int code, int times) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < times; ++i) scriptedRefusals_.push_back(code);
}

void LicenceService::setRenewalDuration(std::optional<std::string> value) {
    std::lock_guard lock(mutex_);
    options_.renewalDuration = std::move(value);
}

int LicenceService::keysServed() const {
    std::lock_guard lock(mutex_);
    return keysServed_;
}

Reply LicenceService::licence(const RecordedRequest& request) {
    const auto token = request.bearerToken();
    const auto claims = token ? options_.verifyToken(*token) : std::nullopt;
    if (!claims) return refusal(401, licence::invalidTokenCode, "A valid bearer token is required.");
    const auto contentId = request.queryValue("contentId");
    const auto keyId = request.queryValue("keyId");
    if (!contentId || !keyId || contentId->empty() || keyId->empty()) {
        return refusal(400, licence::badRequestCode, "contentId and keyId are required.");
    }
    std::lock_guard lock(mutex_);
    if (!scriptedRefusals_.empty()) {
        const int code = scriptedRefusals_.front();
        scriptedRefusals_.erase(scriptedRefusals_.begin());
        return refusal(403, code, "Refused.");
    }
    // Claims of another type than text make the token unusable, not the server fail.
    auto claim = [&](const char* name, std::string fallback) -> std::optional<std::string> {
        auto it = claims->find(name);
        if (it == claims->end()) return fallback;
        if (!it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    const auto account = claim("sub", "");
    const auto status = claim("account_status", "active");
    if (!account || !status) return refusal(401, licence::invalidTokenCode, "A valid bearer token is required.");
    if (*status != "active" || notEntitled_.count(*account)) {
        return refusal(403, licence::notEntitledCode, "The viewer is not entitled to this content.");
    }
    if (request.body != licence::serverPlaybackContext(options_.certificate, *contentId)) {
        return refusal(403, licence::invalidRequestDataCode,
                       "The request data does not match the certificate and content.");
    }
    ++keysServed_;
    Reply reply{.status = 200,
                .body = licence::contentKeyContext(request.body, *keyId),
                .contentType = "application/octet-stream"};
    if (options_.renewalDuration) reply.headers.emplace_back("x-irdeto-renewal-duration", *options_.renewalDuration);
    return reply;
}

}  // namespace devserver
