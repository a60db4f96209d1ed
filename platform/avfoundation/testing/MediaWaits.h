#pragma once

// Test support: how the media player's tests wait for what the local back end brings (a playlist, a key, a
// segment). Local media arrives in milliseconds, so a wait has a bound of its own of a few seconds, far
// under the player's time-outs (30 s for a playlist, 60 s for a segment or a licence): a test whose media
// never comes (an answer dropped, a check turned the wrong way) fails in seconds instead of waiting out
// those time-outs. Once the test has failed, a wait looks once and returns: a broken test fails after one
// bound, not after one bound per wait. Header-only; link lumora_devserver.
//
//   ASSERT_TRUE(avfoundation::testing::runUntil([&] { return item->status() != Status::unknown; }));
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "devserver/testing/HlsTestService.h"
#include "dispatch/RunLoop.h"

namespace avfoundation::testing {

// The bound of a wait for local media.
inline constexpr std::chrono::milliseconds kMediaWait{5000};

// Runs the main loop until `predicate` holds or `bound` of real time has passed; whether it holds.
inline bool runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds bound = kMediaWait) {
    if (::testing::Test::HasFailure()) {
        dispatch::RunLoop::main().runUntilIdle();
        return predicate();
    }
    return devserver::testing::runUntil(predicate, bound);
}

}  // namespace avfoundation::testing
