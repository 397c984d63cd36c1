#include "serial/run_queue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace dedarida;
using namespace std::chrono_literals;

TEST(RunQueue, RunAndWaitRunsOnTheMainThreadAndReturnsItsError) {
    RunQueue queue;
    std::atomic<bool> ranOnMain = false;
    std::string error;
    std::thread other([&] {
        queue.RunAndWait([&] { ranOnMain = queue.IsMainThread(); });
        try {
            queue.RunAndWait([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        queue.Stop();
    });
    queue.RunUntil(std::chrono::steady_clock::now() + 10s);
    other.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(error, "boom");
}

TEST(RunQueue, RunAndWaitOnTheMainThreadRunsAtOnce) {
    RunQueue queue;
    int runs = 0;
    queue.RunAndWait([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

TEST(RunQueue, RunQueuedForEndsWhenDoneHoldsOrTimeIsUp) {
    RunQueue queue;
    std::atomic<bool> finished = false;
    std::thread other([&] {
        finished = true;
        queue.Post([] {});
    });
    queue.RunQueuedFor(10s, [&] { return finished.load(); });
    other.join();
    EXPECT_TRUE(finished);

    const auto start = std::chrono::steady_clock::now();
    queue.RunQueuedFor(20ms, [] { return false; });
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST(RunQueue, StopBeforeRunUntilEndsTheNextRun) {
    RunQueue queue;
    int runs = 0;
    queue.Post([&] { ++runs; });
    queue.Stop();
    queue.RunUntil(std::chrono::steady_clock::now() + 10s);
    EXPECT_EQ(runs, 0);
    queue.RunUntil(std::chrono::steady_clock::now() + 10ms);
    EXPECT_EQ(runs, 1);
}
