#include "sdwebimage/SDImageLoader.h"

#include "foundation/URLError.h"
#include "foundation/URLRequest.h"
#include "sdwebimage/SDWebImageError.h"

namespace sdwebimage {

namespace {

class TaskOperation final : public SDWebImageOperation {
  public:
    explicit TaskOperation(std::shared_ptr<foundation::URLSessionDataTask> task) : task_(std::move(task)) {}
    void cancel() override { task_->cancel(); }

  private:
    std::shared_ptr<foundation::URLSessionDataTask> task_;
};

}  // namespace

SDWebImageDownloader::SDWebImageDownloader(Configuration configuration) : configuration_(configuration) {
    foundation::URLSessionConfiguration session;
    session.timeoutIntervalForRequest = configuration_.downloadTimeout;
    session.maximumResponseSize = configuration_.maximumResponseSize;
    session.httpAdditionalHeaders["Accept"] = "image/*,*/*;q=0.8";
    session_ = foundation::URLSession::create(session);
}

std::shared_ptr<SDWebImageDownloader> SDWebImageDownloader::create(Configuration configuration) {
    return std::shared_ptr<SDWebImageDownloader>(new SDWebImageDownloader(configuration));
}

std::shared_ptr<SDWebImageOperation> SDWebImageDownloader::requestData(const foundation::URL& url, Progress progress,
                                                                       Completion completion) {
    const std::string address = url.absoluteString();
    auto task = session_->dataTask(
        url, [address, progress = std::move(progress), completion = std::move(completion)](
                 std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse> response,
                 std::optional<foundation::Error> error) {
            if (error) {
                if (foundation::URLError::is(*error, foundation::URLError::cancelled)) {
                    completion(std::unexpected(SDWebImageError::cancelled(address)));
                } else {
                    completion(std::unexpected(SDWebImageError::downloadFailed(address, *error)));
                }
                return;
            }
            const int status = response ? response->statusCode : 0;
            if (status < 200 || status > 299) {
                completion(std::unexpected(SDWebImageError::invalidDownloadStatusCode(address, status)));
                return;
            }
            foundation::Data body = data.value_or(foundation::Data{});
            if (progress) {
                const auto received = static_cast<std::int64_t>(body.size());
                progress(received, response->expectedContentLength().value_or(received));
            }
            completion(std::move(body));
        });
    task->resume();
    return std::make_shared<TaskOperation>(task);
}

}  // namespace sdwebimage
