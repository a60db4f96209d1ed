#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "authentication/UseCases.h"

namespace lumora::detail {

// One refresh shared by every caller that asks while it runs, and a generation that tells whether the
// signed-in state it refreshes is still the one it started from: a sign-in or a sign-out in between makes
// its result stale, so it never brings old credentials back. The account managers each keep one.
//
// Not locked: its owner calls `join`, `invalidate` and `finish` with its own serial queue held, and
// `deliver` without it (a waiter may call back into the owner).
class RefreshOnce {
  public:
    // The callers waiting for one refresh.
    struct Flight {
        std::vector<AccountCompletion> waiters;
        std::uint64_t generation = 0;
    };

    // Adds `waiter` to the refresh under way, or starts one with it. The flight returned is the caller's
    // to run and then to `finish`; nothing when `waiter` joined a refresh that is already running.
    [[nodiscard]] std::shared_ptr<Flight> join(AccountCompletion waiter) {
        if (flight_) {
            flight_->waiters.push_back(std::move(waiter));
            return nullptr;
        }
        flight_ = std::make_shared<Flight>();
        flight_->generation = generation_;
        flight_->waiters.push_back(std::move(waiter));
        return flight_;
    }

    // The signed-in state changed: a refresh under way no longer belongs to it.
    void invalidate() { ++generation_; }

    // Ends `flight`: its waiters, and whether its result still belongs to the current state.
    struct Ending {
        std::vector<AccountCompletion> waiters;
        bool current = false;
    };
    [[nodiscard]] Ending finish(const std::shared_ptr<Flight>& flight) {
        Ending ending{std::move(flight->waiters), flight->generation == generation_};
        if (flight_ == flight) flight_.reset();
        return ending;
    }

    // Hands one result to every waiter.
    static void deliver(const std::vector<AccountCompletion>& waiters, const AccountResult& result) {
        for (const auto& waiter : waiters) waiter(result);
    }

  private:
    std::uint64_t generation_ = 0;
    std::shared_ptr<Flight> flight_;
};

}  // namespace lumora::detail
