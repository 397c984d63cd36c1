// Waits for real seconds: output held by the adapter for five of them.
#include "serial/comport.h"
#include "serial/driver/serial_driver_posix.h"
#include "serial/run_queue.h"
#include "tests/faults/faulty_tty.h"
#include "tests/serial/pty_pair.h"

#include <ctime>
#include <gtest/gtest.h>
#include <thread>

using namespace dedarida;
using namespace std::chrono_literals;
using dedarida::test::FaultyTty;
using dedarida::test::PtyPair;

namespace {

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// While the adapter holds output (CTS low, XOFF, a stalled device) the event
// thread watches for the queue to drain without polling at a fixed period,
// and once the line is idle it sleeps until something happens.
TEST(HeldOutput, TheEventThreadBacksOffAndSleepsWhenIdle) {
    PtyPair pty;
    FaultyTty tty;
    RunQueue main;
    TComPort port(main, std::make_unique<PosixSerialDriver>(tty));
    port.SetDevicePath(pty.SlavePath());
    int empties = 0;
    port.SetOnTxEmpty([&](TComPort&) { ++empties; });
    port.Open();
    tty.HoldOutput();
    ASSERT_EQ(port.Write("held", 4, true), 4);

    const std::uint64_t wakeupsBefore = tty.LineEventWakeups();
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(5s);
    const double heldWakeupsPerSecond =
        static_cast<double>(tty.LineEventWakeups() - wakeupsBefore) / 5.0;
    const double heldCpuShare = (ProcessCpuSeconds() - cpuBefore) / 5.0;
    RecordProperty("held_wakeups_per_second", std::to_string(heldWakeupsPerSecond));
    RecordProperty("held_cpu_percent", std::to_string(heldCpuShare * 100));
    std::printf("held output: %.1f wake-ups/s, %.3f%% of a core\n", heldWakeupsPerSecond,
                heldCpuShare * 100);
    EXPECT_LE(heldWakeupsPerSecond, 20.0);
    EXPECT_LT(heldCpuShare, 0.002);
    EXPECT_EQ(empties, 0);

    tty.ReleaseOutput();
    main.RunQueuedFor(2s, [&] { return empties == 1; });
    EXPECT_EQ(empties, 1);
    EXPECT_EQ(pty.ReadMaster(4), "held");
    const std::uint64_t idleBefore = tty.LineEventWakeups();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(tty.LineEventWakeups(), idleBefore);
    port.Close();
}

} // namespace
