#include "avfoundation/AVMediaSelection.h"

#include <algorithm>
#include <cctype>

namespace avfoundation {

namespace {
std::string lowered(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::shared_ptr<AVMediaSelectionOption> AVMediaSelectionOption::create(
    std::string displayName, std::optional<std::string> extendedLanguageTag, AVMediaType mediaType,
    std::vector<AVMediaCharacteristic> characteristics) {
    auto option = std::shared_ptr<AVMediaSelectionOption>(new AVMediaSelectionOption());
    option->displayName_ = std::move(displayName);
    option->extendedLanguageTag_ = std::move(extendedLanguageTag);
    option->mediaType_ = std::move(mediaType);
    option->characteristics_ = std::move(characteristics);
    return option;
}

std::optional<foundation::Locale> AVMediaSelectionOption::locale() const {
    if (!extendedLanguageTag_ || extendedLanguageTag_->empty()) return std::nullopt;
    foundation::Locale locale(*extendedLanguageTag_);
    if (!locale.languageCode) return std::nullopt;
    return locale;
}

bool AVMediaSelectionOption::hasMediaCharacteristic(const AVMediaCharacteristic& characteristic) const {
    return std::find(characteristics_.begin(), characteristics_.end(), characteristic) != characteristics_.end();
}

std::shared_ptr<AVMediaSelectionGroup> AVMediaSelectionGroup::create(
    Options options, std::shared_ptr<AVMediaSelectionOption> defaultOption, bool allowsEmptySelection) {
    auto group = std::shared_ptr<AVMediaSelectionGroup>(new AVMediaSelectionGroup());
    group->options_ = std::move(options);
    group->defaultOption_ = std::move(defaultOption);
    group->allowsEmptySelection_ = allowsEmptySelection;
    return group;
}

bool AVMediaSelectionGroup::contains(const std::shared_ptr<AVMediaSelectionOption>& option) const {
    return option && std::find(options_.begin(), options_.end(), option) != options_.end();
}

AVMediaSelectionGroup::Options AVMediaSelectionGroup::mediaSelectionOptions(const Options& options,
                                                                            const foundation::Locale& locale) {
    Options matching;
    if (!locale.languageCode) return matching;
    const std::string language = lowered(*locale.languageCode);
    for (const auto& option : options) {
        if (!option) continue;
        const auto optionLocale = option->locale();
        if (!optionLocale || lowered(*optionLocale->languageCode) != language) continue;
        if (locale.regionCode && optionLocale->regionCode &&
            lowered(*locale.regionCode) != lowered(*optionLocale->regionCode)) {
            continue;
        }
        matching.push_back(option);
    }
    return matching;
}

std::shared_ptr<AVMediaSelectionOption> AVMediaSelection::selectedMediaOption(
    const std::shared_ptr<AVMediaSelectionGroup>& group) const {
    for (const auto& [g, option] : choices_) {
        if (g == group) return option;
    }
    return nullptr;
}

}  // namespace avfoundation
