#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/DateFormatter.h"

namespace avfoundation {

// A media characteristic: what a track offers.
using AVMediaCharacteristic = std::string;
// Text to read: subtitles and captions.
inline const AVMediaCharacteristic AVMediaCharacteristicLegible = "public.legible";
// Captions for the deaf and hard of hearing (a rendition whose CHARACTERISTICS say so).
inline const AVMediaCharacteristic AVMediaCharacteristicDescribesMusicAndSoundForAccessibility =
    "public.accessibility.describes-music-and-sound";
// Subtitles shown only where the dialogue is in another language (FORCED=YES).
inline const AVMediaCharacteristic AVMediaCharacteristicContainsOnlyForcedSubtitles = "public.subtitles.forced-only";

using AVMediaType = std::string;
inline const AVMediaType AVMediaTypeSubtitle = "sbtl";

// One choice of a media-selection group (one subtitle rendition). Compared by identity: the asset
// hands out the same option objects every time.
class AVMediaSelectionOption {
  public:
    static std::shared_ptr<AVMediaSelectionOption> create(std::string displayName,
                                                          std::optional<std::string> extendedLanguageTag,
                                                          AVMediaType mediaType,
                                                          std::vector<AVMediaCharacteristic> characteristics);

    const std::string& displayName() const { return displayName_; }
    // The rendition's language tag as written ("en", "sv-SE"); nothing when it has none.
    const std::optional<std::string>& extendedLanguageTag() const { return extendedLanguageTag_; }
    // The language tag as a locale; nothing when there is no tag or it names no language.
    std::optional<foundation::Locale> locale() const;
    const AVMediaType& mediaType() const { return mediaType_; }
    bool hasMediaCharacteristic(const AVMediaCharacteristic& characteristic) const;
    const std::vector<AVMediaCharacteristic>& mediaCharacteristics() const { return characteristics_; }
    bool isPlayable() const { return true; }

  private:
    AVMediaSelectionOption() = default;
    std::string displayName_;
    std::optional<std::string> extendedLanguageTag_;
    AVMediaType mediaType_;
    std::vector<AVMediaCharacteristic> characteristics_;
};

// The options among which one (or, where allowed, none) is chosen at a time, e.g. the subtitles.
class AVMediaSelectionGroup {
  public:
    using Options = std::vector<std::shared_ptr<AVMediaSelectionOption>>;

    static std::shared_ptr<AVMediaSelectionGroup> create(Options options,
                                                         std::shared_ptr<AVMediaSelectionOption> defaultOption,
                                                         bool allowsEmptySelection);

    const Options& options() const { return options_; }
    // The option chosen when the selection is automatic; nothing means "none" (subtitles off).
    const std::shared_ptr<AVMediaSelectionOption>& defaultOption() const { return defaultOption_; }
    bool allowsEmptySelection() const { return allowsEmptySelection_; }
    bool contains(const std::shared_ptr<AVMediaSelectionOption>& option) const;

    // The options of `options` that match `locale`, in their order. The matching rule: an option matches
    // when its language tag names a language and that language equals the locale's language (compared
    // without regard to case, as written: "sv" does not match "swe"), and, when both the option and the
    // locale name a region, the regions are equal too. So the locale "en" matches "en", "en-US" and
    // "en-GB"; the locale "en_GB" matches "en" and "en-GB" but not "en-US"; options without a language
    // tag never match; a locale without a language matches nothing.
    static Options mediaSelectionOptions(const Options& options, const foundation::Locale& locale);

  private:
    AVMediaSelectionGroup() = default;
    Options options_;
    std::shared_ptr<AVMediaSelectionOption> defaultOption_;
    bool allowsEmptySelection_ = true;
};

// The options chosen in each group of a player item, as a copy taken when it was asked for.
class AVMediaSelection {
  public:
    // The option chosen in `group`; nothing when none is (or the group is not the item's).
    std::shared_ptr<AVMediaSelectionOption> selectedMediaOption(
        const std::shared_ptr<AVMediaSelectionGroup>& group) const;

    // Made by the player item.
    using Choices =
        std::vector<std::pair<std::shared_ptr<AVMediaSelectionGroup>, std::shared_ptr<AVMediaSelectionOption>>>;
    explicit AVMediaSelection(Choices choices) : choices_(std::move(choices)) {}

  private:
    Choices choices_;
};

}  // namespace avfoundation
