#pragma once

#include <string>

#include "keymoments/ZuKeyMomentEvent.h"

namespace lumora::testing {

// An event with made-up texts: only its code and time matter to the strip.
inline ZuKeyMomentEvent keyMoment(std::string code, double videoTime, std::string displayName = "Goal",
                                  std::optional<std::string> player = "J. Smith",
                                  std::optional<std::string> team = "Harbour FC") {
    return ZuKeyMomentEvent(std::move(code), videoTime, videoTime * 10, std::move(displayName),
                            std::to_string(static_cast<int>(videoTime)) + "'", std::move(player), std::move(team));
}

}  // namespace lumora::testing
