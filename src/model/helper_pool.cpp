#include "model/helper_pool.h"

#include <algorithm>

namespace warpkit {

HelperPool::HelperPool(int max_helpers) {
    const int hardware = static_cast<int>(std::thread::hardware_concurrency());
    const int helpers = std::clamp(hardware - 1, 0, std::max(max_helpers, 0));
    for (int i = 0; i < helpers; ++i) helpers_.emplace_back([this, i] { serve(i); });
}

HelperPool::~HelperPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

void HelperPool::run(void (*task)(void*), void* context, int helpers) {
    std::lock_guard<std::mutex> one_task_at_a_time(run_mutex_);
    const int wanted = std::clamp(helpers, 0, static_cast<int>(helpers_.size()));
    if (wanted > 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = task;
            context_ = context;
            helpers_wanted_.store(wanted, std::memory_order_relaxed);
            open_.store(true, std::memory_order_seq_cst);
            ++generation_;
        }
        wake_.notify_all();
    }
    task(context);
    if (wanted == 0) return;
    // A helper counts itself in before it looks whether the task is open, and the caller
    // closes the task before it looks whether anyone is in: so either the helper sees the task
    // closed and leaves it alone, or the caller sees it inside and waits for it. Its last
    // piece is short, so a yielding wait is cheaper than sleeping.
    open_.store(false, std::memory_order_seq_cst);
    while (inside_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

void HelperPool::serve(int index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        lock.unlock();
        inside_.fetch_add(1, std::memory_order_seq_cst);
        // Seeing the task open makes what was written before it was opened visible; the task
        // may be a later one than the one that woke this helper, which is as good.
        if (open_.load(std::memory_order_seq_cst) &&
            index < helpers_wanted_.load(std::memory_order_relaxed)) {
            task_(context_);
        }
        inside_.fetch_sub(1, std::memory_order_seq_cst);
        lock.lock();
    }
}

HelperPool& mesh_helpers() {
    // The passes are bound by memory and by the floating-point units of each core, which a few
    // threads already keep busy.
    static HelperPool pool(3);
    return pool;
}

HelperPool& file_helpers() {
    // One helper: a file is made (or decoded) by the caller and it while the kernel copies.
    static HelperPool pool(1);
    return pool;
}

}  // namespace warpkit
