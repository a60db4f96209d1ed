#pragma once

#include <compare>

#include "dispatch/Clock.h"

namespace foundation {

// A span of time in seconds.
using TimeInterval = double;

// A point in time: seconds since 1970-01-01T00:00:00Z, read from the one clock (`dispatch::Clock`), so
// a test's manual clock moves dates as it moves timers.
//
// Unlike the platform, `Date()` is not "now": it is the 1970 reference date, so that a default-made
// field is deterministic. Use `Date::now()` for the current time.
class Date {
  public:
    constexpr Date() = default;
    constexpr explicit Date(TimeInterval timeIntervalSince1970) : since1970_(timeIntervalSince1970) {}

    // The current wall-clock time of `dispatch::Clock::current()`.
    static Date now();
    static Date fromWallTime(dispatch::WallTime time);

    constexpr TimeInterval timeIntervalSince1970() const { return since1970_; }
    // Seconds from `other` to this date: positive when this date is later.
    constexpr TimeInterval timeIntervalSince(const Date& other) const { return since1970_ - other.since1970_; }
    // Seconds from now to this date: negative for a date in the past.
    TimeInterval timeIntervalSinceNow() const;
    constexpr Date addingTimeInterval(TimeInterval interval) const { return Date(since1970_ + interval); }

    friend constexpr Date operator+(const Date& d, TimeInterval t) { return d.addingTimeInterval(t); }
    friend constexpr Date operator-(const Date& d, TimeInterval t) { return d.addingTimeInterval(-t); }
    friend constexpr Date& operator+=(Date& d, TimeInterval t) { return d = d.addingTimeInterval(t); }
    friend constexpr bool operator==(const Date&, const Date&) = default;
    friend constexpr auto operator<=>(const Date&, const Date&) = default;

  private:
    TimeInterval since1970_ = 0;
};

}  // namespace foundation
