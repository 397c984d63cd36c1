#include "serial/run_queue.h"

#include <utility>

namespace dedarida {

RunQueue::RunQueue() : RunQueue(std::function<void()>{}) {}

RunQueue::RunQueue(std::function<void()> wake)
    : wake_(std::move(wake)), main_(std::this_thread::get_id()) {}

bool RunQueue::IsMainThread() const {
    return std::this_thread::get_id() == main_;
}

void RunQueue::Push(Item item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    queued_.notify_all();
    if (wake_)
        wake_();
}

void RunQueue::Post(Routine routine) {
    Push({std::move(routine), nullptr});
}

void RunQueue::RunAndWait(Routine routine) {
    if (IsMainThread()) {
        routine();
        return;
    }
    Completion completion;
    Push({std::move(routine), &completion});
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return completion.done; });
    if (completion.error)
        std::rethrow_exception(completion.error);
}

bool RunQueue::RunOne(std::unique_lock<std::mutex>& lock) {
    if (items_.empty())
        return false;
    Item item = std::move(items_.front());
    items_.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
        item.routine();
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (item.completion) {
        item.completion->error = error;
        item.completion->done = true;
        finished_.notify_all();
    } else if (error) {
        // A posted routine has nobody waiting for it: its error goes to the loop.
        lock.unlock();
        std::rethrow_exception(error);
    }
    return true;
}

void RunQueue::RunQueued() {
    std::unique_lock lock(mutex_);
    for (std::size_t n = items_.size(); n > 0 && RunOne(lock); --n) {
    }
}

void RunQueue::RunQueuedFor(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (RunOne(lock)) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished)
                return;
        }
        lock.unlock();
        const bool finished = done();
        lock.lock();
        if (finished)
            return;
        if (queued_.wait_until(lock, deadline, [&] { return !items_.empty(); }))
            continue;
        return;
    }
}

void RunQueue::RunUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (RunOne(lock))
            continue;
        if (!queued_.wait_until(lock, deadline, [&] { return stop_ || !items_.empty(); }))
            return;
    }
    stop_ = false;
}

void RunQueue::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    queued_.notify_all();
}

} // namespace dedarida
