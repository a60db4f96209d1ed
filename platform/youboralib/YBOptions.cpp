#include "youboralib/YBOptions.h"

#include <cmath>
#include <string_view>

namespace youboralib {

namespace {

// The JSON name of each text option, in the order of YBOptions::Text.
constexpr std::array<std::string_view, 21> kTextNames{
    "accountCode",
    "appName",
    "appReleaseVersion",
    "contentCdn",
    "contentCustomDimension1",
    "contentCustomDimension3",
    "contentCustomDimension9",
    "contentCustomDimension11",
    "contentCustomDimension12",
    "contentCustomDimension13",
    "contentCustomDimension16",
    "contentId",
    "contentResource",
    "contentStreamingProtocol",
    "contentTitle",
    "contentTransactionCode",
    "contentType",
    "contentTransportFormat",
    "username",
    "userType",
    "contentRendition",
};

foundation::JSONValue number(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return *value;
}

foundation::JSONValue textValue(const std::optional<std::string>& value) {
    if (!value) return nullptr;
    return *value;
}

}  // namespace

std::shared_ptr<YBOptions> YBOptions::create() {
    return std::shared_ptr<YBOptions>(new YBOptions());
}

bool YBOptions::offline() const {
    std::lock_guard lock(mutex_);
    return offline_;
}

void YBOptions::setOffline(bool offline) {
    std::lock_guard lock(mutex_);
    offline_ = offline;
}

std::optional<double> YBOptions::contentBitrate() const {
    std::lock_guard lock(mutex_);
    return contentBitrate_;
}

void YBOptions::setContentBitrate(std::optional<double> bitsPerSecond) {
    std::lock_guard lock(mutex_);
    contentBitrate_ = bitsPerSecond;
}

std::optional<double> YBOptions::contentDuration() const {
    std::lock_guard lock(mutex_);
    return contentDuration_;
}

void YBOptions::setContentDuration(std::optional<double> seconds) {
    std::lock_guard lock(mutex_);
    contentDuration_ = seconds;
}

std::optional<std::string> YBOptions::text(Text key) const {
    std::lock_guard lock(mutex_);
    return texts_[static_cast<std::size_t>(key)];
}

void YBOptions::setText(Text key, std::optional<std::string> value) {
    std::lock_guard lock(mutex_);
    texts_[static_cast<std::size_t>(key)] = std::move(value);
}

foundation::JSONValue YBOptions::toJSON() const {
    static_assert(kTextNames.size() == static_cast<std::size_t>(Text::count_));
    std::lock_guard lock(mutex_);
    foundation::JSONValue out = foundation::JSONValue::object();
    out["offline"] = offline_;
    // The content metrics go last, after the options set when the view begins.
    const auto rendition = static_cast<std::size_t>(Text::contentRendition);
    for (std::size_t i = 0; i < kTextNames.size(); ++i) {
        if (i != rendition) out[std::string(kTextNames[i])] = textValue(texts_[i]);
    }
    out["contentBitrate"] = number(contentBitrate_);
    out["contentRendition"] = textValue(texts_[rendition]);
    out["contentDuration"] = number(contentDuration_);
    return out;
}

}  // namespace youboralib
