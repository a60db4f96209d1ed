#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "alamofire/Session.h"
#include "kitfoundation/networking/NetworkRequest.h"
#include "playservice/AccessTokenSource.h"
#include "playservice/AssetInfo.h"
#include "playservice/PlayAssetAPIModel.h"
#include "playservice/PlayServiceError.h"

namespace lumora {

class PlayServiceType {
  public:
    using Completion = std::function<void(std::expected<PlayAssetAPIModel, PlayServiceError>)>;
    virtual ~PlayServiceType() = default;
    // Asks the play service for a stream of the asset; the completion runs once, on the main queue.
    virtual void fetch(const AssetInfo& assetInfo, Completion completion) = 0;
};

// The play request: a JSON POST of the asset-info body to the play-service address + "/api/v3/play"
// with "Content-Type: application/json", "X-Vimond-Subprofile" and "Authorization: Bearer " + the
// viewer's access token, taken from the token source for each request.
//
// Outcomes, delivered once on the main queue:
//  - 200...299 with a body that decodes: the play response;
//  - any other status: server(status, the error body's "code", its "message") — either is nothing when
//    the body does not carry it, or when the body or headers were over their caps (the status stands);
//  - no token (the source gives nothing, ends empty, or fails), a body that does not encode, a transport
//    failure or time-out, an invalid address, a success body that does not decode, a success answer larger
//    than `maximumResponseSize` or with headers over their cap (refused as it arrives): generic(the error).
class PlayService final : public PlayServiceType, public std::enable_shared_from_this<PlayService> {
  public:
    static constexpr const char* playPath = "/api/v3/play";
    // The largest answer taken, in bytes (a play answer is a few kilobytes).
    static constexpr std::size_t maximumResponseSize = kMaximumJSONResponseSize;

    // `baseURL`: the play-service address (a trailing "/" is ignored). `subprofile`: the value of the
    // "X-Vimond-Subprofile" header (sent even when empty). `session`: the HTTP session (the shared one
    // when nothing is given).
    static std::shared_ptr<PlayService> create(std::string baseURL, AccessTokenSource tokenSource,
                                               std::string subprofile = {},
                                               std::shared_ptr<alamofire::Session> session = nullptr);

    const std::string& baseURL() const { return baseURL_; }
    // baseURL + "/api/v3/play".
    std::string playURL() const;

    void fetch(const AssetInfo& assetInfo, Completion completion) override;

    // How an answer becomes an outcome (also for tests): status, body.
    static std::expected<PlayAssetAPIModel, PlayServiceError> handleResponse(int statusCode,
                                                                             const foundation::Data& body);

  private:
    PlayService(std::string baseURL, AccessTokenSource tokenSource, std::string subprofile,
                std::shared_ptr<alamofire::Session> session);
    void send(const AssetInfo& assetInfo, const std::string& token, Completion completion);

    std::string baseURL_;
    AccessTokenSource tokenSource_;
    std::string subprofile_;
    std::shared_ptr<alamofire::Session> session_;
};

}  // namespace lumora
