#include "playback/DRMService.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "kitfoundation/Log.h"

namespace lumora {

namespace {

std::unexpected<foundation::Error> failure(DRMError::Case error) {
    return std::unexpected(foundation::Error(DRMError(error)));
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
    return value;
}

}  // namespace

std::shared_ptr<foundation::URLSessionDataTask> DRMService::sendLicenseRequest(const foundation::URLRequest& request,
                                                                               Completion completion) const {
    auto session = foundation::URLSession::create(foundation::URLSessionConfiguration::default_());
    foundation::URLRequest capped = request;
    if (!capped.maximumResponseSize) capped.maximumResponseSize = maximumResponseSize;
    auto task = session->dataTask(std::move(capped),
                                  [completion = std::move(completion)](auto data, auto response, auto error) {
                                      // A transport failure shows as the missing response; an answer over
                                      // the cap as its response without a body.
                                      (void)error;
                                      if (completion) completion(licenseResult(data, response));
                                  });
    task->resume();
    return task;
}

DRMService::LicenseResult DRMService::licenseResult(const std::optional<foundation::Data>& body,
                                                    const std::optional<foundation::HTTPURLResponse>& response) {
    if (!response) return failure(DRMError::invalidLicenseResponse);
    if (response->statusCode == 403) {
        // A refusal whose page was over the cap (refused as it arrived: there is no body to read) is still one.
        if (!body) return failure(DRMError::licenseRefused);
        if (!isValidUTF8(*body)) return failure(DRMError::invalidLicenseResponse);
        const auto json = nlohmann::json::parse(body->begin(), body->end(), nullptr, false);
        if (json.is_discarded() || !json.is_object()) return failure(DRMError::invalidLicenseResponse);
        const auto code = json.find("code");
        const bool refused = code != json.end() && code->is_number_integer() && code->get<long long>() == refusedCode;
        return failure(refused ? DRMError::licenseRefused : DRMError::keyExchangeFailed);
    }
    if (!body || response->statusCode < 200 || response->statusCode > 299 || body->empty()) {
        return failure(DRMError::invalidLicenseResponse);
    }
    return DRMLicense{*body, renewalInterval(*response)};
}

}  // namespace lumora
