#include "rx/Schedulers.h"

#include <deque>
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"

namespace rx {

dispatch::Nanoseconds SchedulerType::now() const {
    return dispatch::Clock::current()->now();
}

Disposable SchedulerType::scheduleRelative(dispatch::Nanoseconds dueTime, Action action) {
    if (dueTime < dispatch::Nanoseconds{0}) dueTime = dispatch::Nanoseconds{0};
    auto cancelled = std::make_shared<detail::FlagDisposable>();
    auto& loop = dispatch::RunLoop::main();
    const auto id = loop.schedule(dispatch::saturatingAdd(now(), dueTime), [cancelled, action = std::move(action)] {
        if (!cancelled->isDisposed()) action();
    });
    return Disposables::create([cancelled, id] {
        cancelled->dispose();
        dispatch::RunLoop::main().cancel(id);
    });
}

std::shared_ptr<MainScheduler> MainScheduler::instance() {
    // Never destroyed: worker threads may still schedule on it while the process exits.
    static auto* scheduler = new std::shared_ptr<MainScheduler>(new MainScheduler(true));
    return *scheduler;
}

std::shared_ptr<MainScheduler> MainScheduler::asyncInstance() {
    static auto* scheduler = new std::shared_ptr<MainScheduler>(new MainScheduler(false));
    return *scheduler;
}

namespace {
// Counts one posted action as pending until the block that carries it has run or has been dropped
// (a test resetting the run loop drops blocks without running them).
struct PendingMark {
    explicit PendingMark(std::shared_ptr<std::atomic<long>> counter) : counter(std::move(counter)) {}
    ~PendingMark() { counter->fetch_sub(1); }
    PendingMark(const PendingMark&) = delete;
    PendingMark& operator=(const PendingMark&) = delete;
    std::shared_ptr<std::atomic<long>> counter;
};
}  // namespace

Disposable MainScheduler::schedule(Action action) {
    const long earlier = pending_->fetch_add(1);
    if (runsInlineOnMain_ && earlier == 0 && dispatch::DispatchQueue::isMainThread()) {
        action();
        pending_->fetch_sub(1);
        return Disposable();
    }
    auto cancelled = std::make_shared<detail::FlagDisposable>();
    auto mark = std::make_shared<PendingMark>(pending_);
    dispatch::DispatchQueue::main().async([cancelled, mark, action = std::move(action)]() mutable {
        if (!cancelled->isDisposed()) action();
        mark.reset();
    });
    return Disposable(cancelled);
}

namespace {
struct Trampoline {
    bool running = false;
    std::deque<std::pair<std::shared_ptr<detail::FlagDisposable>, Action>> queue;
};
thread_local Trampoline tlTrampoline;
}  // namespace

std::shared_ptr<CurrentThreadScheduler> CurrentThreadScheduler::instance() {
    static auto* scheduler = new std::shared_ptr<CurrentThreadScheduler>(new CurrentThreadScheduler());
    return *scheduler;
}

bool CurrentThreadScheduler::isScheduleRequired() {
    return !tlTrampoline.running;
}

Disposable CurrentThreadScheduler::schedule(Action action) {
    auto& trampoline = tlTrampoline;
    auto cancelled = std::make_shared<detail::FlagDisposable>();
    if (trampoline.running) {
        trampoline.queue.emplace_back(cancelled, std::move(action));
        return Disposable(cancelled);
    }
    trampoline.running = true;
    action();
    while (!trampoline.queue.empty()) {
        auto [flag, next] = std::move(trampoline.queue.front());
        trampoline.queue.pop_front();
        if (!flag->isDisposed()) next();
    }
    trampoline.running = false;
    return Disposable(cancelled);
}

}  // namespace rx
