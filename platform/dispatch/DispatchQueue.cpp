#include "dispatch/DispatchQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "dispatch/RunLoop.h"

namespace dispatch {

namespace {
// The queue whose block the calling thread is running (worker queues and sync gates), or null.
thread_local const void* tlCurrentQueue = nullptr;

struct SyncState {
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false;
    bool done = false;
};
}  // namespace

DispatchTime DispatchTime::now() { return {Clock::current()->now()}; }

void DispatchWorkItem::perform() {
    if (!isCancelled() && block_) block_();
}

struct DispatchQueue::Impl : std::enable_shared_from_this<Impl> {
    bool isMain = false;
    int workerCount = 1;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Block> blocks;
    bool stopping = false;
    std::vector<std::thread> workers;

    void enqueue(Block block) {
        if (isMain) {
            RunLoop::main().post(std::move(block));
            return;
        }
        // The block may release the last owner of this queue as soon as the lock is dropped; the queue must
        // outlive the notification below.
        auto keepAlive = shared_from_this();
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            blocks.push_back(std::move(block));
            if (static_cast<int>(workers.size()) < workerCount) {
                workers.emplace_back([self = shared_from_this()] { self->loop(); });
            }
        }
        cv.notify_one();
    }

    void loop() {
        tlCurrentQueue = this;
        for (;;) {
            Block block;
            {
                std::unique_lock lock(mutex);
                cv.wait(lock, [&] { return stopping || !blocks.empty(); });
                if (blocks.empty()) break;  // stopping, and everything queued has run
                block = std::move(blocks.front());
                blocks.pop_front();
            }
            if (block) block();
        }
        tlCurrentQueue = nullptr;
    }

    void shutdown() {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex);
            stopping = true;
            threads.swap(workers);
        }
        cv.notify_all();
        for (auto& t : threads) {
            // A queue released from one of its own blocks cannot wait for itself.
            if (t.get_id() == std::this_thread::get_id()) {
                t.detach();
            } else {
                t.join();
            }
        }
    }
};

DispatchQueue::DispatchQueue(std::string label) : DispatchQueue(std::move(label), 1) {}

DispatchQueue::DispatchQueue(std::string label, int workers) : label_(std::move(label)), impl_(std::make_shared<Impl>()) {
    impl_->workerCount = workers;
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

void DispatchQueue::async(Block block) { impl_->enqueue(std::move(block)); }

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

bool DispatchQueue::isMainThread() { return RunLoop::main().isMainThread(); }

DispatchQueue::SyncGate::SyncGate(DispatchQueue& q) : previous_(tlCurrentQueue) {
    auto& impl = *q.impl_;
    const bool inline_ = impl.isMain ? RunLoop::main().isMainThread()
                                     : (tlCurrentQueue == &impl || impl.workerCount > 1);
    if (!inline_) {
        auto state = std::make_shared<SyncState>();
        impl.enqueue([state] {
            std::unique_lock lock(state->mutex);
            state->entered = true;
            state->cv.notify_all();
            state->cv.wait(lock, [&] { return state->done; });
        });
        std::unique_lock lock(state->mutex);
        state->cv.wait(lock, [&] { return state->entered; });
        state_ = state;
    }
    if (!impl.isMain) tlCurrentQueue = &impl;
}

DispatchQueue::SyncGate::~SyncGate() {
    tlCurrentQueue = previous_;
    if (auto state = std::static_pointer_cast<SyncState>(state_)) {
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    }
}

}  // namespace dispatch
