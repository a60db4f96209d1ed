#pragma once

#include <algorithm>
#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "sdwebimage/SDImageLoader.h"
#include "sdwebimage/SDWebImageError.h"

namespace sdwebimage::testing {

// A loader whose requests wait until the test answers them, in any order, on the test's thread (the main
// thread): `respond(i, bytes)`, `respondStatus(i, 404)`. Records every request and its cancellation.
class ScriptedImageLoader final : public SDImageLoader {
  public:
    struct Request {
        foundation::URL url;
        Progress progress;
        Completion completion;
        bool cancelled = false;
        bool answered = false;
    };

    static std::shared_ptr<ScriptedImageLoader> create() { return std::make_shared<ScriptedImageLoader>(); }

    std::shared_ptr<SDWebImageOperation> requestData(const foundation::URL& url, Progress progress,
                                                     Completion completion) override {
        requests_.push_back(std::make_shared<Request>(Request{url, std::move(progress), std::move(completion)}));
        return std::make_shared<Operation>(requests_.back());
    }

    std::size_t count() const { return requests_.size(); }
    const Request& request(std::size_t i) const { return *requests_.at(i); }

    // Answers request `i` with a body (progress first, then the completion).
    void respond(std::size_t i, foundation::Data body) {
        auto& r = *requests_.at(i);
        if (r.answered) return;
        r.answered = true;
        if (r.progress) r.progress(static_cast<std::int64_t>(body.size()), static_cast<std::int64_t>(body.size()));
        r.completion(std::move(body));
    }
    void respondStatus(std::size_t i, int status) {
        fail(i, SDWebImageError::invalidDownloadStatusCode(requests_.at(i)->url.absoluteString(), status));
    }
    void fail(std::size_t i, foundation::Error error) {
        auto& r = *requests_.at(i);
        if (r.answered) return;
        r.answered = true;
        r.completion(std::unexpected(std::move(error)));
    }

  private:
    class Operation final : public SDWebImageOperation {
      public:
        explicit Operation(std::shared_ptr<Request> request) : request_(std::move(request)) {}
        void cancel() override { request_->cancelled = true; }

      private:
        std::shared_ptr<Request> request_;
    };

    std::vector<std::shared_ptr<Request>> requests_;
};

}  // namespace sdwebimage::testing
