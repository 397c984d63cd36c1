#include "process/console_interrupts_win32.h"
#include "process/signal_watcher.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Returning from the console's handler ends the process: when the console
// is closed, the handler must hold on while the interrupted upgrade writes
// its result and record, and the process ends by itself first.
TEST(ConsoleInterrupts, AClosedConsoleLetsTheInterruptedWorkFinish) {
    std::mutex mutex;
    std::condition_variable changed;
    bool interrupted = false;
    dedarida::SignalWatcher watcher([&] {
        {
            std::lock_guard lock(mutex);
            interrupted = true;
        }
        changed.notify_all();
    });
    // Outlives the test: the handler is left waiting until the process ends.
    static std::atomic<bool> returned{false};
    std::thread([] {
        dedarida::ConsoleInterrupts::OnEvent(CTRL_CLOSE_EVENT);
        returned = true;
    }).detach();
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return interrupted; }));
    lock.unlock();
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(returned);
    EXPECT_TRUE(watcher.Signalled());
}

} // namespace
