#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "coremedia/CMTime.h"

namespace lumora {

// One key moment of the asset being played: where it lies on the asset's timeline, its code, and the two lines
// of text that describe it. The host builds events; the kit compares, hashes and diffs them.
//
// Two events are equal when their `code`s and `videoTime`s are (−0 equal to +0); the texts and media times
// take no part. Hashing covers the same two fields, so equal events always hash alike.
struct ZuKeyMomentEvent {
    ZuKeyMomentEvent(std::string code, double videoTime, double eventTime, std::string displayName,
                     std::optional<std::string> displayTime, std::optional<std::string> player,
                     std::optional<std::string> team);

    std::string code;
    double videoTime = 0;  // seconds on the asset's content timeline (ads left out), the controls' slider's
    std::optional<std::string> displayTime;
    // `videoTime` and the event's own time at the kit's timescale of 1,000,000,000; invalid when the
    // seconds are not finite.
    coremedia::CMTime startTime;
    coremedia::CMTime eventTime;
    // "<displayTime> - <displayName>", trimmed of spaces and tabs at both ends.
    std::string happening;
    // "<player> (<team>)", the team only when present and not empty, trimmed the same way.
    std::string contestant;

    // A hash over `code` and `videoTime` (its bit pattern, −0 taken as +0), stable within one run.
    std::size_t hashValue() const;

    // The identity by which the array diff matches old and new events: the event itself.
    const ZuKeyMomentEvent& diffIdentifier() const { return *this; }

    friend bool operator==(const ZuKeyMomentEvent& a, const ZuKeyMomentEvent& b);
};

}  // namespace lumora

template <>
struct std::hash<lumora::ZuKeyMomentEvent> {
    std::size_t operator()(const lumora::ZuKeyMomentEvent& event) const { return event.hashValue(); }
};
