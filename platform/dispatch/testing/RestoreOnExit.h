#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace dispatch::testing {

// Runs `restore` when the scope ends, however the test ends (a failed ASSERT_* returns early): for a test
// that swaps process-wide state (a shared manager, a switch, a handler) with no scope of its own.
//
//     auto previous = manager.swap(replacement);
//     RestoreOnExit restore([&] { manager.swap(previous); });
class RestoreOnExit {
  public:
    explicit RestoreOnExit(std::function<void()> restore) : restore_(std::move(restore)) {}
    ~RestoreOnExit() {
        if (restore_) restore_();
    }
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;

  private:
    std::function<void()> restore_;
};

// Keeps a variable's value as it was when the scope began and puts it back at its end, so that a test may
// change it freely: plain values and atomics (`ValueScope keep(debugLogEnabled);`).
template <typename T>
class ValueScope {
  public:
    explicit ValueScope(T& variable) : variable_(variable), saved_(variable) {}
    ~ValueScope() { variable_ = saved_; }
    ValueScope(const ValueScope&) = delete;
    ValueScope& operator=(const ValueScope&) = delete;

  private:
    template <typename U>
    struct Stored {
        using type = U;
    };
    template <typename U>
    struct Stored<std::atomic<U>> {
        using type = U;
    };

    T& variable_;
    typename Stored<T>::type saved_;
};

}  // namespace dispatch::testing
