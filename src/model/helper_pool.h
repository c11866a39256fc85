#pragma once
// Helper threads for work that a draw repeats many times a second: made once, at first use,
// and joined at exit, so a draw starts no thread and allocates nothing.
//
// A task is shared, not split in advance: every participant claims pieces of it (through
// atomics of the task's own) until none is left. The caller starts at once and helpers join
// when they wake up, so a helper that is late, or never scheduled on a busy machine, costs
// only its share instead of holding the caller up.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace warpkit {

class HelperPool {
public:
    // At most `max_helpers` helpers, and one fewer than the machine's cores.
    explicit HelperPool(int max_helpers);
    ~HelperPool();

    HelperPool(const HelperPool&) = delete;
    HelperPool& operator=(const HelperPool&) = delete;

    // Threads that may work on a task: the helpers and the caller.
    int threads() const { return static_cast<int>(helpers_.size()) + 1; }

    // Calls task(context) on the calling thread and on every helper (at most `helpers`) that
    // wakes up while the task is open. task must return once nothing is left to claim; run
    // returns after the caller's own call, when no helper is still inside the task, so the
    // context may live on the caller's stack. One task at a time; other callers wait.
    void run(void (*task)(void*), void* context, int helpers);

private:
    void serve(int index);

    std::vector<std::thread> helpers_;
    std::mutex run_mutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    uint64_t generation_ = 0;
    bool stopping_ = false;

    // Written before the task is opened, read by helpers only after they see it open.
    void (*task_)(void*) = nullptr;
    void* context_ = nullptr;
    std::atomic<int> helpers_wanted_{0};
    std::atomic<bool> open_{false};
    std::atomic<int> inside_{0};
};

// The pool shared by the mesh passes.
HelperPool& mesh_helpers();

// The helper that reads and writes object files with the caller, apart from the mesh passes so
// that a draw never waits behind a file.
HelperPool& file_helpers();

}  // namespace warpkit
