// Needs a console (under wine: a terminal on standard input), since a
// Ctrl-C reaches every process on the console.
#include "process/process_setup.h"
#include "process/signal_watcher.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <windows.h>

namespace {

using namespace std::chrono_literals;

// A unit's process learns of Ctrl-C only through its watchers. One that
// comes before the first (at the start, while the firmware loads) must not
// end the process with nothing said: the first watcher takes it.
TEST(ConsoleInterrupts, ACtrlCBeforeAnyWatcherIsTakenByTheFirst) {
    dedarida::HoldInterrupts();
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << "no console: " << GetLastError();
    // The console's thread delivers it meanwhile; taken by nobody, it would
    // end this process here.
    Sleep(500);
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
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 5s, [&] { return interrupted; }));
    EXPECT_TRUE(watcher.Signalled());
}

} // namespace
