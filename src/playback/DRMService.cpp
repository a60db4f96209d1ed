#include "playback/DRMService.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "foundation/URLError.h"
#include "kitfoundation/Log.h"

namespace lumora {

namespace {

std::unexpected<foundation::Error> failure(DRMError::Case error, std::string reason,
                                           std::optional<foundation::Error> underlying = std::nullopt) {
    return std::unexpected(foundation::Error(DRMError(error, std::move(reason), std::move(underlying))));
}

// Why no answer came, from the session's error (never from bytes of an answer).
std::unexpected<foundation::Error> noAnswer(const std::optional<foundation::Error>& error) {
    if (!error) return failure(DRMError::invalidLicenseResponse, "the licence server gave no answer");
    if (foundation::URLError::is(*error, foundation::URLError::timedOut)) {
        return failure(DRMError::invalidLicenseResponse, "the licence request timed out", error);
    }
    if (foundation::URLError::is(*error, foundation::URLError::cancelled)) {
        return failure(DRMError::invalidLicenseResponse, "the licence request was cancelled", error);
    }
    if (foundation::URLError::is(*error, foundation::URLError::dataLengthExceedsMaximum)) {
        return failure(
            DRMError::invalidLicenseResponse,
            "the licence answer is larger than " + std::to_string(DRMService::maximumResponseSize / 1024) + " KiB",
            error);
    }
    return failure(DRMError::invalidLicenseResponse,
                   "the licence server could not be reached (" + error->localizedDescription() + ")", error);
}

bool isValidUTF8(const foundation::Data& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = bytes[i];
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char n = bytes[i + k];
            if ((n & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (n & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        static constexpr std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

double renewalInterval(const foundation::HTTPURLResponse& response) {
    auto header = response.value(DRMService::renewalHeader);
    if (!header) return DRMService::defaultRenewalInterval;
    std::string_view text = *header;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    // The interval schedules a renewal on the clock: a value that is not a usable number of seconds, or one
    // beyond any licence's life, would renew at once and again (or never); the key is renewed as usual.
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0 ||
        value > DRMService::maximumRenewalInterval) {
        debugLog("☣️ Licence renewal duration refused:", "\"" + std::string(text.substr(0, 40)) + "\"",
                 "- the key is renewed after", DRMService::defaultRenewalInterval, "s");
        return DRMService::defaultRenewalInterval;
    }
    if (value < DRMService::minimumRenewalInterval) {
        debugLog("☣️ Licence renewal duration below the floor:", "\"" + std::string(text.substr(0, 40)) + "\"",
                 "- the key is renewed after", DRMService::minimumRenewalInterval, "s");
        return DRMService::minimumRenewalInterval;
    }
    return value;
}

}  // namespace

std::shared_ptr<foundation::URLSessionDataTask> DRMService::sendLicenseRequest(const foundation::URLRequest& request,
                                                                               Completion completion) const {
    // A licence request is answered where it was sent: a redirect is an answer of its own (the request data
    // and the viewer's token are not handed on to another address).
    auto configuration = foundation::URLSessionConfiguration::default_();
    configuration.maximumRedirects = 0;
    auto session = foundation::URLSession::create(configuration);
    foundation::URLRequest capped = request;
    if (!capped.maximumResponseSize) capped.maximumResponseSize = maximumResponseSize;
    auto task = session->dataTask(std::move(capped),
                                  [completion = std::move(completion)](auto data, auto response, auto error) {
                                      if (completion) completion(licenseResult(data, response, error));
                                  });
    task->resume();
    return task;
}

DRMService::LicenseResult DRMService::licenseResult(const std::optional<foundation::Data>& body,
                                                    const std::optional<foundation::HTTPURLResponse>& response,
                                                    const std::optional<foundation::Error>& error) {
    if (!response) return noAnswer(error);
    const std::string status = "HTTP " + std::to_string(response->statusCode);
    if (!body) {
        // A refusal whose page was over the cap (refused as it arrived: there is no body to read) is still one.
        if (response->statusCode == 403) {
            return failure(DRMError::licenseRefused,
                           "the licence server refused the content key (" + status + ", its page too large to read)",
                           error);
        }
        return failure(DRMError::invalidLicenseResponse, "the licence answer (" + status + ") could not be read",
                       error);
    }
    if (response->statusCode == 403) {
        // The refusal's code is read; nothing of the body is repeated.
        const auto json = isValidUTF8(*body) ? nlohmann::json::parse(body->begin(), body->end(), nullptr, false)
                                             : nlohmann::json(nlohmann::json::value_t::discarded);
        if (json.is_discarded() || !json.is_object()) {
            return failure(DRMError::invalidLicenseResponse, "the licence server's answer (" + status +
                                                                 ") is not a licence refusal it can read: its "
                                                                 "body is not a JSON object");
        }
        const auto code = json.find("code");
        if (code != json.end() && code->is_number_integer() && code->get<long long>() == refusedCode) {
            return failure(DRMError::licenseRefused, "the licence server refused the content key (" + status +
                                                         ", code " + std::to_string(refusedCode) + ")");
        }
        return failure(DRMError::keyExchangeFailed,
                       "the licence server refused the key exchange (" + status +
                           (code == json.end() ? " without a code)" : " with another code)"));
    }
    if (response->statusCode >= 300 && response->statusCode <= 399) {
        return failure(DRMError::invalidLicenseResponse, "the licence server redirected the request (" + status +
                                                             "); a licence is asked only where "
                                                             "the key address says");
    }
    if (response->statusCode < 200 || response->statusCode > 299) {
        return failure(DRMError::invalidLicenseResponse, "the licence server answered " + status + " without a key");
    }
    if (body->empty()) {
        return failure(DRMError::invalidLicenseResponse,
                       "the licence server answered " + status + " with an empty body instead of a key");
    }
    return DRMLicense{*body, renewalInterval(*response)};
}

}  // namespace lumora
