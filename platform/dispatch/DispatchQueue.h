#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "dispatch/Clock.h"

namespace dispatch {

using Block = std::function<void()>;

// A point on the monotonic clock, written as on the platform: `DispatchTime::now() + 0.5`. Adding a
// duration saturates: a delay too long for the clock's range never falls due.
struct DispatchTime {
    Nanoseconds uptime{0};

    static DispatchTime now();
    friend DispatchTime operator+(DispatchTime t, double seconds) { return {saturatingAdd(t.uptime, seconds)}; }
    friend DispatchTime operator+(DispatchTime t, Nanoseconds d) { return {saturatingAdd(t.uptime, d)}; }
    friend auto operator<=>(const DispatchTime&, const DispatchTime&) = default;
};

// A block that can be cancelled before it runs.
class DispatchWorkItem {
  public:
    explicit DispatchWorkItem(Block block) : block_(std::move(block)) {}
    void perform();
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }

  private:
    Block block_;
    std::atomic<bool> cancelled_{false};
};

// A serial queue. The main queue runs its blocks on the thread that drives `RunLoop::main()`;
// every other queue runs its blocks in order on a worker thread it borrows from a process-wide pool while
// it has blocks to run (a queue owns no thread: making one is cheap). `sync` runs the block on the calling
// thread once every block queued before it has run, and nothing else of the queue runs meanwhile: entering
// a queue synchronously is mutual exclusion. Entering an idle queue hands nothing to another thread.
class DispatchQueue {
  public:
    explicit DispatchQueue(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    static DispatchQueue& main();
    // A shared background queue for work with no queue of its own (a small pool: blocks may run in parallel).
    static DispatchQueue& global();

    const std::string& label() const { return label_; }

    void async(Block block);
    void async(const std::shared_ptr<DispatchWorkItem>& item);
    // Runs the block on this queue once the one clock reaches `deadline`.
    void asyncAfter(DispatchTime deadline, Block block);
    void asyncAfter(DispatchTime deadline, const std::shared_ptr<DispatchWorkItem>& item);

    template <class F>
    auto sync(F&& f) -> std::invoke_result_t<F&> {
        using R = std::invoke_result_t<F&>;
        SyncGate gate(*this);
        if constexpr (std::is_void_v<R>) {
            f();
        } else {
            return f();
        }
    }

    // True while the calling thread runs a block of this queue (for the main queue: is the main thread).
    bool isCurrent() const;
    // "Is this the main queue": the calling thread is the main thread.
    static bool isMainThread();

  private:
    struct Impl;
    struct MainTag {};
    explicit DispatchQueue(MainTag);
    DispatchQueue(std::string label, int workers);

    // Holds the queue exclusively for a synchronous block on the calling thread.
    class SyncGate {
      public:
        explicit SyncGate(DispatchQueue& q);
        ~SyncGate();
        SyncGate(const SyncGate&) = delete;
        SyncGate& operator=(const SyncGate&) = delete;

      private:
        std::shared_ptr<Impl> held_;       // the queue held by this caller (a queue other than the main one)
        std::shared_ptr<void> mainState_;  // the main thread parked for this caller (a caller off the main thread)
        const void* previous_ = nullptr;
    };

    std::string label_;
    std::shared_ptr<Impl> impl_;
};

}  // namespace dispatch
