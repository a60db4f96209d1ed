#include "foundation/Date.h"

#include <chrono>

namespace foundation {

Date Date::now() {
    return fromWallTime(dispatch::Clock::current()->wallNow());
}

Date Date::fromWallTime(dispatch::WallTime time) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch());
    // Whole seconds and the rest apart, so that nanoseconds survive the conversion to double.
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(ns);
    return Date(static_cast<double>(whole.count()) + static_cast<double>((ns - whole).count()) * 1e-9);
}

TimeInterval Date::timeIntervalSinceNow() const {
    return timeIntervalSince(now());
}

}  // namespace foundation
