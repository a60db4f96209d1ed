#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "devserver/Server.h"

// The FairPlay certificate and licence servers of the local back end (service "licence"). The shapes
// are in tools/devserver/README.md.
//
//   GET  /fairplay/certificate   the application certificate (bytes)
//   POST /fairplay/license?contentId=<id>&keyId=<key>   body: the request data (SPC),
//        "Authorization: Bearer <token>"
//
// The request data must be "SPC1:" + lower-case hex SHA-256(certificate bytes + content id), as the
// media player makes it; the answer is the key (CKC): "CKC1:" + lower-case hex SHA-256("CKC1" + SPC +
// key id), with the header "x-irdeto-renewal-duration". Refusals:
//   401 {"code":130100}  no or an invalid bearer token
//   400 {"code":130200}  contentId or keyId missing
//   403 {"code":130401}  the viewer is not entitled (account not active, or marked not entitled)
//   403 {"code":130402}  the request data does not match the certificate and the content id
//   403 {"code":<code>}  a refusal scripted by the test
namespace devserver {

namespace licence {
inline constexpr int invalidTokenCode = 130100;
inline constexpr int badRequestCode = 130200;
inline constexpr int notEntitledCode = 130401;
inline constexpr int invalidRequestDataCode = 130402;

// The default certificate of the service.
std::string defaultCertificate();
// The request data and the key for a certificate, content id and key id, as described above.
std::string serverPlaybackContext(std::string_view certificate, std::string_view contentId);
std::string contentKeyContext(std::string_view spc, std::string_view keyId);
}  // namespace licence

struct LicenceOptions {
    std::string certificatePath = "/fairplay/certificate";
    std::string licencePath = "/fairplay/license";
    std::string certificate = licence::defaultCertificate();
    // The claims of a good bearer token ("sub": the account, "account_status": its state), nothing for a
    // bad one. By default any non-empty token is good, with itself as "sub" (plug in an entitlement
    // service's `verify`).
    std::function<std::optional<nlohmann::json>(std::string_view token)> verifyToken;
    // The value of "x-irdeto-renewal-duration" on every key; nothing leaves the header out.
    std::optional<std::string> renewalDuration = std::string("120");
};

class LicenceService final : public Service {
  public:
    static std::shared_ptr<LicenceService> create(LicenceOptions options = {});

    std::string name() const override { return "licence"; }
    void registerRoutes(Router& router) override;

    const std::string& certificate() const { return options_.certificate; }

    // Marks an account ("sub" of its token) as not entitled (or entitled again).
    void setEntitled(const std::string& account, bool entitled);
    // The next `times` licence requests are refused with 403 {"code": code}, whoever asks.
    void scriptRefusal(int code, int times = 1);
    // Changes the renewal header of the keys from now on (nothing: no header).
    void setRenewalDuration(std::optional<std::string> value);
    // Keys handed out so far.
    int keysServed() const;

  private:
    explicit LicenceService(LicenceOptions options);
    Reply licence(const RecordedRequest& request);

    mutable std::mutex mutex_;  // guards everything below
    LicenceOptions options_;
    std::set<std::string> notEntitled_;
    std::vector<int> scriptedRefusals_;
    int keysServed_ = 0;
};

}  // namespace devserver
