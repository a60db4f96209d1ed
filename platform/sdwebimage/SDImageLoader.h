#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "foundation/URLSession.h"

namespace sdwebimage {

// Something in flight that can be stopped.
class SDWebImageOperation {
  public:
    virtual ~SDWebImageOperation() = default;
    // Safe from any thread, any number of times.
    virtual void cancel() = 0;
};

// Fetches the bytes of an image. The manager decodes and transforms them; a loader only transfers.
// Replace the shared manager's loader in tests (testing/ImageLoaderScope.h) to script answers.
class SDImageLoader {
  public:
    using Progress = std::function<void(std::int64_t receivedSize, std::int64_t expectedSize)>;
    // The body of a successful answer, or an SDWebImageError.
    using Completion = std::function<void(std::expected<foundation::Data, foundation::Error>)>;

    virtual ~SDImageLoader() = default;
    // Starts fetching `url`. `completion` runs at most once, on any thread; after `cancel()` it may not run
    // at all. `progress` (may be empty) runs before it, on the same thread.
    virtual std::shared_ptr<SDWebImageOperation> requestData(const foundation::URL& url, Progress progress,
                                                             Completion completion) = 0;
};

// The default loader: a GET over the kit's HTTP session. Answers on the session's worker queue.
// A status outside 200...299 is `invalidDownloadStatusCode`; a transfer failure `downloadFailed` (a
// cancelled transfer `cancelled`).
class SDWebImageDownloader final : public SDImageLoader {
  public:
    struct Configuration {
        // Seconds without any data before a load fails.
        double downloadTimeout = 15.0;
        // Larger bodies fail without being kept.
        std::size_t maximumResponseSize = 32u * 1024u * 1024u;
    };

    static std::shared_ptr<SDWebImageDownloader> create(Configuration configuration);
    static std::shared_ptr<SDWebImageDownloader> create() { return create(Configuration{}); }

    std::shared_ptr<SDWebImageOperation> requestData(const foundation::URL& url, Progress progress,
                                                     Completion completion) override;

  private:
    explicit SDWebImageDownloader(Configuration configuration);
    Configuration configuration_;
    std::shared_ptr<foundation::URLSession> session_;
};

}  // namespace sdwebimage
