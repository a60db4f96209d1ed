#pragma once

// The plain sides of the HTTP benchmarks: GETs through the platform session, and through one bare libcurl easy
// handle. Include only where libcurl and the platform's foundation library are linked.

#include <curl/curl.h>

#include <memory>
#include <string>
#include <utility>

#include "BenchSupport.h"
#include "foundation/URLSession.h"

namespace bench {

// GETs of one URL through the platform session, the caller waiting for each completion.
class SessionGets {
  public:
    SessionGets(std::shared_ptr<foundation::URLSession> session, const std::string& url)
        : session_(std::move(session)), request_(*foundation::URL::fromString(url)) {}

    // `n` GETs one after the other; aborts when one brings no body.
    void run(int n) {
        for (int i = 0; i < n; ++i) {
            bool ok = false;
            session_
                ->dataTask(request_,
                           [&](std::optional<foundation::Data> data, std::optional<foundation::HTTPURLResponse>,
                               std::optional<foundation::Error>) {
                               ok = data && !data->empty();
                               latch_.signal();
                           })
                ->resume();
            latch_.wait();
            if (!ok) std::abort();
        }
    }

  private:
    std::shared_ptr<foundation::URLSession> session_;
    foundation::URLRequest request_;
    Latch latch_;
};

// One reused easy handle, with the options that matter set as the platform session sets them (no signals, any
// encoding).
class EasyHandle {
  public:
    explicit EasyHandle(const std::string& url) : easy_(curl_easy_init()) {
        curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &appendToString);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body_);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");
    }
    ~EasyHandle() { curl_easy_cleanup(easy_); }
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;

    // One GET; whether an answer with a body came.
    bool get() {
        body_.clear();
        return curl_easy_perform(easy_) == CURLE_OK && !body_.empty();
    }
    // The last answer's body.
    const std::string& body() const { return body_; }

  private:
    CURL* easy_;
    std::string body_;
};

}  // namespace bench
