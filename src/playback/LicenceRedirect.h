#pragma once

#include <string>

namespace lumora {

// Sends the kit's FairPlay licence requests to another server, for development against a local licence
// server. The key loader addresses its licence requests to "https://" + the key address's host + its path,
// with no port; a licence server on this machine usually answers plain http on a port of its own. While a
// LicenceRedirect lives, every request of the process's URL session stack to "https://<host>/..." goes to
// "<baseURL>/..." instead (path and query kept). One redirect at a time: a new one replaces the previous.
//
//   lumora::LicenceRedirect redirect("127.0.0.1", "http://127.0.0.1:4000");
//   ... play protected streams whose keys name 127.0.0.1 ...
class LicenceRedirect {
  public:
    // `baseURL` without a trailing slash ("http://127.0.0.1:4000").
    LicenceRedirect(std::string host, std::string baseURL);
    ~LicenceRedirect();

    LicenceRedirect(const LicenceRedirect&) = delete;
    LicenceRedirect& operator=(const LicenceRedirect&) = delete;
};

}  // namespace lumora
