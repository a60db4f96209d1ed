#include "dispatch/DispatchQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "dispatch/RunLoop.h"

namespace dispatch {

namespace {
// The queue whose block the calling thread is running (worker queues and sync gates), or null.
thread_local const void* tlCurrentQueue = nullptr;

// A synchronous block waiting for the main queue (from another thread): the main thread parks in a block of
// its own until the caller is done.
struct MainSyncState {
    std::mutex mutex;  // guards entered and done
    std::condition_variable cv;
    bool entered = false;
    bool done = false;
};

// A synchronous caller's place in a queue: granted once every block queued before it has run.
struct SyncTurn {
    bool granted = false;  // under the queue's mutex
};

// What a pool worker is handed: a queue with blocks to run.
struct Drainable {
    virtual ~Drainable() = default;
    virtual void drain() = 0;
};
}  // namespace

DispatchTime DispatchTime::now() {
    return {Clock::current()->now()};
}

void DispatchWorkItem::perform() {
    if (!isCancelled() && block_) block_();
}

// A queue other than the main one owns no thread: while it has blocks to run it borrows a worker of the
// process-wide pool, which runs them in order and goes back to the pool when the queue is empty. Making a
// queue (one per media load, say) costs no thread, and a block handed to an idle queue wakes a parked worker
// instead of waiting for a new thread to be scheduled for the first time.
struct DispatchQueue::Impl final : Drainable, std::enable_shared_from_this<Impl> {
    struct Item {
        Block block;
        SyncTurn* turn = nullptr;  // a synchronous caller waiting for its turn (no block)
    };

    bool isMain = false;
    int width = 1;  // blocks that may run at once: 1 for a serial queue
    std::string label;
    std::mutex mutex;               // guards items, draining, held, stopping and the turns of sync callers
    std::condition_variable turns;  // a sync caller's turn came, or the queue went idle
    std::deque<Item> items;
    int draining = 0;   // workers handed this queue and not yet done with it
    bool held = false;  // a sync caller runs with the queue held
    bool stopping = false;

    void enqueue(Block block);
    // On a pool worker: runs the queue's blocks until it is empty, held, or a sync caller's turn comes.
    void drain() override;
    // Under the lock: whether to hand the queue to one more worker.
    bool takeWorker() {
        if (held || items.empty() || draining >= width) return false;
        ++draining;
        return true;
    }
    bool isIdle() const { return !held && draining == 0 && items.empty(); }
    void shutdown();
};

namespace {

// The worker threads every queue but the main one borrows. Workers park when there is nothing to run; a
// few parked ones are kept for the next blocks, and a worker is added whenever none is parked, so a block
// that waits (a synchronous download) never holds up another queue.
class WorkerPool {
  public:
    // Never destroyed: queues may hand work over while the process exits.
    static WorkerPool& shared() {
        static auto* pool = new WorkerPool();
        return *pool;
    }

    void submit(std::shared_ptr<Drainable> queue) {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            ready_.push_back(std::move(queue));
            if (parked_ > 0) {
                --parked_;
                ++wakeUps_;
                wake = true;
            }
        }
        if (wake) {
            cv_.notify_one();
        } else {
            std::thread([this] { work(); }).detach();
        }
    }

  private:
    static constexpr int kParkedWorkers = 16;

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (ready_.empty()) {
                if (parked_ >= kParkedWorkers) return;
                ++parked_;
                cv_.wait(lock, [&] { return wakeUps_ > 0; });
                --wakeUps_;
                continue;
            }
            auto queue = std::move(ready_.front());
            ready_.pop_front();
            lock.unlock();
            queue->drain();
            queue.reset();
            lock.lock();
        }
    }

    std::mutex mutex_;  // guards ready_, parked_ and wakeUps_
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Drainable>> ready_;  // queues waiting for a worker
    int parked_ = 0;                                // workers waiting on cv_
    int wakeUps_ = 0;                               // parked workers told to look again, not yet awake
};

}  // namespace

void DispatchQueue::Impl::enqueue(Block block) {
    if (isMain) {
        RunLoop::main().post(std::move(block));
        return;
    }
    bool start = false;
    {
        std::lock_guard lock(mutex);
        if (stopping) return;
        items.push_back(Item{std::move(block)});
        start = takeWorker();
    }
    // The worker keeps the queue alive: the block may release its last owner as soon as it runs.
    if (start) WorkerPool::shared().submit(shared_from_this());
}

void DispatchQueue::Impl::drain() {
    const void* previous = tlCurrentQueue;
    tlCurrentQueue = this;
    for (;;) {
        Item item;
        {
            std::lock_guard lock(mutex);
            if (held || items.empty()) {
                --draining;
                if (isIdle()) turns.notify_all();
                break;
            }
            item = std::move(items.front());
            items.pop_front();
            if (item.turn) {
                // Everything queued before the caller has run: the queue is its until it lets go.
                held = true;
                item.turn->granted = true;
                --draining;
                turns.notify_all();
                break;
            }
        }
        if (item.block) item.block();
    }
    tlCurrentQueue = previous;
}

void DispatchQueue::Impl::shutdown() {
    std::unique_lock lock(mutex);
    stopping = true;
    // A queue released from one of its own blocks (or under its own sync) cannot wait for itself: what is
    // queued still runs, on the worker that runs it now.
    if (tlCurrentQueue == this) return;
    turns.wait(lock, [&] { return isIdle(); });
}

DispatchQueue::DispatchQueue(std::string label) : DispatchQueue(std::move(label), 1) {}

DispatchQueue::DispatchQueue(std::string label, int workers)
    : label_(std::move(label)), impl_(std::make_shared<Impl>()) {
    impl_->width = workers;
    impl_->label = label_;
}

DispatchQueue::DispatchQueue(MainTag) : label_("com.apple.main-thread"), impl_(std::make_shared<Impl>()) {
    impl_->isMain = true;
}

DispatchQueue::~DispatchQueue() {
    if (!impl_->isMain) impl_->shutdown();
}

DispatchQueue& DispatchQueue::main() {
    static DispatchQueue* queue = new DispatchQueue(MainTag{});
    return *queue;
}

DispatchQueue& DispatchQueue::global() {
    static DispatchQueue* queue = new DispatchQueue("global", 4);
    return *queue;
}

void DispatchQueue::async(Block block) {
    impl_->enqueue(std::move(block));
}

void DispatchQueue::async(const std::shared_ptr<DispatchWorkItem>& item) {
    impl_->enqueue([item] { item->perform(); });
}

void DispatchQueue::asyncAfter(DispatchTime deadline, Block block) {
    if (impl_->isMain) {
        RunLoop::main().schedule(deadline.uptime, std::move(block));
        return;
    }
    std::weak_ptr<Impl> weak = impl_;
    RunLoop::main().schedule(deadline.uptime, [weak, block = std::move(block)]() mutable {
        if (auto impl = weak.lock()) impl->enqueue(std::move(block));
    });
}

void DispatchQueue::asyncAfter(DispatchTime deadline, const std::shared_ptr<DispatchWorkItem>& item) {
    asyncAfter(deadline, [item] { item->perform(); });
}

bool DispatchQueue::isCurrent() const {
    if (impl_->isMain) return RunLoop::main().isMainThread();
    return tlCurrentQueue == impl_.get();
}

bool DispatchQueue::isMainThread() {
    return RunLoop::main().isMainThread();
}

DispatchQueue::SyncGate::SyncGate(DispatchQueue& q) : previous_(tlCurrentQueue) {
    auto& impl = *q.impl_;
    if (impl.isMain) {
        if (!RunLoop::main().isMainThread()) {
            auto state = std::make_shared<MainSyncState>();
            impl.enqueue([state] {
                std::unique_lock lock(state->mutex);
                state->entered = true;
                state->cv.notify_all();
                state->cv.wait(lock, [&] { return state->done; });
            });
            std::unique_lock lock(state->mutex);
            state->cv.wait(lock, [&] { return state->entered; });
            mainState_ = state;
        }
        return;
    }
    // Inside a block of the queue itself, or on a queue whose blocks may run side by side: at once.
    if (tlCurrentQueue == &impl || impl.width > 1) {
        tlCurrentQueue = &impl;
        return;
    }
    std::unique_lock lock(impl.mutex);
    if (impl.isIdle()) {
        // Nothing queued or running: the caller takes the queue at once, on its own thread, with no hand-over.
        impl.held = true;
    } else {
        SyncTurn turn;
        impl.items.push_back(Impl::Item{{}, &turn});
        const bool start = impl.takeWorker();
        if (start) {
            lock.unlock();
            WorkerPool::shared().submit(impl.shared_from_this());
            lock.lock();
        }
        impl.turns.wait(lock, [&] { return turn.granted; });
    }
    lock.unlock();
    held_ = impl.shared_from_this();
    tlCurrentQueue = &impl;
}

DispatchQueue::SyncGate::~SyncGate() {
    tlCurrentQueue = previous_;
    if (held_) {
        bool start = false;
        {
            std::lock_guard lock(held_->mutex);
            held_->held = false;
            start = held_->takeWorker();
            if (held_->isIdle()) held_->turns.notify_all();
        }
        if (start) WorkerPool::shared().submit(std::move(held_));
        return;
    }
    if (auto state = std::static_pointer_cast<MainSyncState>(mainState_)) {
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    }
}

}  // namespace dispatch
