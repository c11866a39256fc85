#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "model/helper_pool.h"

namespace warpkit {
namespace {

// A task the way the mesh passes write theirs: pieces claimed through an atomic, each written
// by whoever claimed it. Some pieces take a while, so a helper is often still in one when the
// caller runs out of pieces to claim.
struct CountingTask {
    explicit CountingTask(size_t pieces) : done(pieces, 0) {}

    std::vector<int> done;  // written without atomics: each piece by exactly one thread
    std::atomic<size_t> next{0};
    std::mutex threads_mutex;
    std::set<std::thread::id> threads;

    static void work(void* context) {
        CountingTask& task = *static_cast<CountingTask*>(context);
        {
            std::lock_guard<std::mutex> lock(task.threads_mutex);
            task.threads.insert(std::this_thread::get_id());
        }
        for (size_t p; (p = task.next.fetch_add(1)) < task.done.size();) {
            if (p % 97 == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ++task.done[p];
        }
    }
};

TEST(HelperPool, every_piece_is_done_once_and_finished_when_run_returns) {
    HelperPool pool(3);
    for (int round = 0; round < 200; ++round) {
        // A fresh task on the stack each round: a helper still inside the last one would write
        // into memory that is gone.
        CountingTask task(500);
        pool.run(&CountingTask::work, &task, pool.threads() - 1);
        for (size_t p = 0; p < task.done.size(); ++p) {
            ASSERT_EQ(task.done[p], 1) << "round " << round << ", piece " << p;
        }
    }
}

TEST(HelperPool, helpers_take_part_only_as_far_as_asked) {
    HelperPool pool(3);
    for (int round = 0; round < 20; ++round) {
        CountingTask task(300);
        pool.run(&CountingTask::work, &task, 0);
        EXPECT_EQ(task.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    }
    int shared = 0;
    for (int round = 0; round < 20; ++round) {
        CountingTask task(300);
        pool.run(&CountingTask::work, &task, pool.threads() - 1);
        EXPECT_LE(task.threads.size(), static_cast<size_t>(pool.threads()));
        if (task.threads.size() > 1) ++shared;
    }
    // With slow pieces to wait through, a helper wakes up in time in some round at least.
    if (pool.threads() > 1) {
        EXPECT_GT(shared, 0);
    }
}

TEST(HelperPool, pool_without_helpers_runs_everything_on_the_caller) {
    HelperPool pool(0);
    EXPECT_EQ(pool.threads(), 1);
    CountingTask task(100);
    pool.run(&CountingTask::work, &task, 5);
    EXPECT_EQ(task.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    for (int done : task.done) EXPECT_EQ(done, 1);
}

TEST(HelperPool, callers_on_several_threads_take_turns) {
    HelperPool pool(3);
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 3; ++c) {
        callers.emplace_back([&] {
            for (int round = 0; round < 30; ++round) {
                CountingTask task(200);
                pool.run(&CountingTask::work, &task, pool.threads() - 1);
                for (int done : task.done) {
                    if (done != 1) wrong.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace warpkit
