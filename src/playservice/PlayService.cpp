#include "playservice/PlayService.h"

#include <atomic>
#include <mutex>

#include "dispatch/DispatchQueue.h"
#include "kitfoundation/Log.h"
#include "kitfoundation/networking/NetworkError.h"

namespace lumora {

namespace {

// Calls the completion once, on the main queue, whichever of the paths below gets there first.
class OnceOnMain {
  public:
    explicit OnceOnMain(PlayServiceType::Completion completion) : completion_(std::move(completion)) {}

    void deliver(std::expected<PlayAssetAPIModel, PlayServiceError> result) {
        PlayServiceType::Completion completion;
        {
            std::lock_guard lock(mutex_);
            completion.swap(completion_);
        }
        if (!completion) return;
        dispatch::DispatchQueue::main().async(
            [completion = std::move(completion), result = std::move(result)]() mutable {
                completion(std::move(result));
            });
    }

  private:
    std::mutex mutex_;  // guards completion_
    PlayServiceType::Completion completion_;
};

std::string withoutTrailingSlashes(std::string text) {
    while (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

// The back end's error body: {"code": "3003" or 3003, "message": "..."}; anything else gives nothing.
std::pair<std::optional<std::string>, std::optional<std::string>> errorBody(const foundation::Data& body) {
    if (body.empty()) return {};
    auto json = foundation::JSONSerialization::jsonObject(body);
    if (!json || !json->is_object()) return {};
    std::optional<std::string> code;
    std::optional<std::string> message;
    if (auto it = json->find("code"); it != json->end()) {
        if (it->is_string()) {
            code = it->get<std::string>();
        } else if (it->is_number_integer()) {
            code = it->dump();
        }
    }
    if (auto it = json->find("message"); it != json->end() && it->is_string()) message = it->get<std::string>();
    return {std::move(code), std::move(message)};
}

}  // namespace

PlayService::PlayService(std::string baseURL, AccessTokenSource tokenSource, std::string subprofile,
                         std::shared_ptr<alamofire::Session> session)
    : baseURL_(withoutTrailingSlashes(std::move(baseURL))),
      tokenSource_(std::move(tokenSource)),
      subprofile_(std::move(subprofile)),
      session_(session ? std::move(session) : alamofire::AF()) {}

std::shared_ptr<PlayService> PlayService::create(std::string baseURL, AccessTokenSource tokenSource,
                                                 std::string subprofile, std::shared_ptr<alamofire::Session> session) {
    return std::shared_ptr<PlayService>(
        new PlayService(std::move(baseURL), std::move(tokenSource), std::move(subprofile), std::move(session)));
}

std::string PlayService::playURL() const {
    return baseURL_ + playPath;
}

std::expected<PlayAssetAPIModel, PlayServiceError> PlayService::handleResponse(int statusCode,
                                                                               const foundation::Data& body) {
    if (statusCode < 200 || statusCode > 299) {
        auto [code, message] = errorBody(body);
        return std::unexpected(PlayServiceError::server(statusCode, std::move(code), std::move(message)));
    }
    auto model = foundation::JSONDecoder().decode<PlayAssetAPIModel>(body);
    if (!model) return std::unexpected(PlayServiceError::generic(model.error()));
    return std::move(*model);
}

void PlayService::fetch(const AssetInfo& assetInfo, Completion completion) {
    auto once = std::make_shared<OnceOnMain>(std::move(completion));
    if (!tokenSource_) {
        once->deliver(std::unexpected(PlayServiceError::generic(LumoraNetworkError::unauthorised())));
        return;
    }
    auto self = shared_from_this();
    // One token is taken; the subscription ends by itself after it (a source may complete right away).
    auto tokenSeen = std::make_shared<std::atomic<bool>>(false);
    tokenSource_().take(1).subscribe(
        [self, assetInfo, once, tokenSeen](const std::optional<std::string>& token) {
            tokenSeen->store(true);
            if (!token || token->empty()) {
                once->deliver(std::unexpected(PlayServiceError::generic(LumoraNetworkError::unauthorised())));
            } else {
                self->send(assetInfo, *token, [once](auto result) { once->deliver(std::move(result)); });
            }
        },
        [once](const foundation::Error& error) { once->deliver(std::unexpected(PlayServiceError::generic(error))); },
        [once, tokenSeen] {
            // Ended without a token: nobody is signed in.
            if (!tokenSeen->load())
                once->deliver(std::unexpected(PlayServiceError::generic(LumoraNetworkError::unauthorised())));
        });
}

void PlayService::send(const AssetInfo& assetInfo, const std::string& token, Completion completion) {
    debugLog("☣️ Play request:", playURL(), "asset:", assetInfo.assetId);
    alamofire::HTTPHeaders headers{
        {"Content-Type", "application/json"},
        {"X-Vimond-Subprofile", subprofile_},
        {"Authorization", "Bearer " + token},
    };
    session_
        ->request(playURL(), alamofire::HTTPMethod::post, assetInfo, alamofire::JSONParameterEncoder::default_(),
                  headers, nullptr,
                  [](foundation::URLRequest& request) { request.maximumResponseSize = maximumResponseSize; })
        ->responseData(dispatch::DispatchQueue::main(),
                       [completion = std::move(completion)](alamofire::DataResponse<foundation::Data> r) {
                           const int status = r.response ? r.response->statusCode : 0;
                           if (const auto* error = r.error()) {
                               // An answer refused for its size keeps its status: a refusal of the service is
                               // its server error (without the error body that was refused).
                               if (r.response && (status < 200 || status > 299)) {
                                   completion(handleResponse(status, foundation::Data{}));
                               } else {
                                   completion(std::unexpected(PlayServiceError::generic(*error)));
                               }
                               return;
                           }
                           completion(handleResponse(status, r.value() ? *r.value() : foundation::Data{}));
                       });
}

}  // namespace lumora
