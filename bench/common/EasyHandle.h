#pragma once

// The bare side of the HTTP benchmarks: one reused libcurl easy handle, with the options that matter set as the
// kit's session sets them (no signals, any encoding). Include only where libcurl is linked.

#include <curl/curl.h>

#include <string>

#include "BenchSupport.h"

namespace bench {

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

  private:
    CURL* easy_;
    std::string body_;
};

}  // namespace bench
