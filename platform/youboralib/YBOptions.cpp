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

// Where each option stands in toJSON's object: "offline" first, the text options in their order with the
// content metrics last ("contentBitrate", "contentRendition", "contentDuration").
constexpr std::size_t kRendition = 20;
static_assert(kTextNames[kRendition] == "contentRendition");
constexpr std::size_t kOfflinePosition = 0;
constexpr std::size_t kBitratePosition = kTextNames.size();
constexpr std::size_t kRenditionPosition = kTextNames.size() + 1;
constexpr std::size_t kDurationPosition = kTextNames.size() + 2;
constexpr std::size_t textPosition(std::size_t text) {
    return text == kRendition ? kRenditionPosition : text + 1;
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
    if (offline_ == offline) return;
    offline_ = offline;
    refresh(kOfflinePosition, offline_);
}

std::optional<double> YBOptions::contentBitrate() const {
    std::lock_guard lock(mutex_);
    return contentBitrate_;
}

void YBOptions::setContentBitrate(std::optional<double> bitsPerSecond) {
    std::lock_guard lock(mutex_);
    if (contentBitrate_ == bitsPerSecond) return;
    contentBitrate_ = bitsPerSecond;
    refresh(kBitratePosition, number(contentBitrate_));
}

std::optional<double> YBOptions::contentDuration() const {
    std::lock_guard lock(mutex_);
    return contentDuration_;
}

void YBOptions::setContentDuration(std::optional<double> seconds) {
    std::lock_guard lock(mutex_);
    if (contentDuration_ == seconds) return;
    contentDuration_ = seconds;
    refresh(kDurationPosition, number(contentDuration_));
}

std::optional<std::string> YBOptions::text(Text key) const {
    std::lock_guard lock(mutex_);
    return texts_[static_cast<std::size_t>(key)];
}

void YBOptions::setText(Text key, std::optional<std::string> value) {
    const auto i = static_cast<std::size_t>(key);
    std::lock_guard lock(mutex_);
    if (texts_[i] == value) return;
    texts_[i] = std::move(value);
    refresh(textPosition(i), textValue(texts_[i]));
}

void YBOptions::refresh(std::size_t position, foundation::JSONValue value) {
    if (!json_) return;
    auto& fields = json_->get_ref<foundation::JSONValue::object_t&>();
    (fields.begin() + static_cast<std::ptrdiff_t>(position))->second = std::move(value);
}

foundation::JSONValue YBOptions::makeJSON() const {
    static_assert(kTextNames.size() == static_cast<std::size_t>(Text::count_));
    foundation::JSONValue out = foundation::JSONValue::object();
    // Every name once, each in its place: appended (the vector's own emplace_back) without a search.
    auto& fields = out.get_ref<foundation::JSONValue::object_t&>();
    fields.reserve(kTextNames.size() + 3);
    fields.emplace_back("offline", offline_);
    for (std::size_t i = 0; i < kTextNames.size(); ++i) {
        if (i != kRendition) fields.emplace_back(std::string(kTextNames[i]), textValue(texts_[i]));
    }
    fields.emplace_back("contentBitrate", number(contentBitrate_));
    fields.emplace_back("contentRendition", textValue(texts_[kRendition]));
    fields.emplace_back("contentDuration", number(contentDuration_));
    return out;
}

foundation::JSONValue YBOptions::toJSON() const {
    std::lock_guard lock(mutex_);
    if (!json_) json_ = makeJSON();
    return *json_;
}

}  // namespace youboralib
