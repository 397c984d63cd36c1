// The serial port over a pty whose system calls behave as real UARTs and
// USB adapters do: line errors, held output, pulled adapters.
#include "serial/comport.h"
#include "serial/driver/serial_driver_posix.h"
#include "serial/run_queue.h"
#include "tests/faults/faulty_tty.h"
#include "tests/serial/port_error.h"
#include "tests/serial/pty_pair.h"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <thread>

using namespace dedarida;
using namespace std::chrono_literals;
using dedarida::test::FaultyTty;
using dedarida::test::LineError;
using dedarida::test::PortError;
using dedarida::test::PtyPair;

namespace {

class RealLine : public ::testing::Test {
protected:
    RealLine() {
        port.SetDevicePath(pty.SlavePath());
        port.SetBaudRate(TBaudRate::br38400);
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2s) {
        main.RunQueuedFor(timeout, done);
        return done();
    }

    PtyPair pty;
    FaultyTty tty;
    RunQueue main;
    TComPort port{main, std::make_unique<PosixSerialDriver>(tty)};
};

TEST_F(RealLine, LineErrorsAreLineEventsAndTheLineStaysUp) {
    int errors = 0;
    int breaks = 0;
    int lost = 0;
    std::string received;
    port.SetOnError([&](TComPort&) { ++errors; });
    port.SetOnBreak([&](TComPort&) { ++breaks; });
    port.SetOnLineLost([&](TComPort&) { ++lost; });
    port.SetOnRxChar([&](TComPort& sender, std::int32_t) {
        char chunk[64];
        while (sender.InputCount() > 0)
            received.append(chunk, static_cast<std::size_t>(sender.Read(chunk, 64, true)));
    });
    port.Open();
    for (const LineError kind : {LineError::Framing, LineError::Parity, LineError::Overrun}) {
        const int before = errors;
        tty.InjectLineError(kind, std::string(1, '\0'));
        ASSERT_TRUE(RunUntil([&] { return errors > before; }));
    }
    tty.InjectLineError(LineError::Break);
    ASSERT_TRUE(RunUntil([&] { return breaks == 1; }));
    pty.WriteMaster("after");
    ASSERT_TRUE(RunUntil([&] { return received.ends_with("after"); }));
    EXPECT_EQ(received, std::string(3, '\0') + "after");
    EXPECT_EQ(port.Write("ok", 2, true), 2);
    EXPECT_EQ(pty.ReadMaster(2), "ok");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(lost, 0);
    // Counted for the report, and kept once the port is closed.
    EXPECT_EQ(port.LineErrors(), (LineErrorCounts{1, 1, 1, 1}));
    port.Close();
    EXPECT_EQ(port.LineErrors(), (LineErrorCounts{1, 1, 1, 1}));
}

// A pulled USB adapter fails reads and ioctls with one of these; each ends
// the event thread and is reported once, without a spin.
TEST_F(RealLine, APulledAdapterIsReportedOnceAsALostLine) {
    for (const int error : {ENODEV, EIO, ENXIO}) {
        SCOPED_TRACE(error);
        int lost = 0;
        port.SetOnLineLost([&](TComPort&) { ++lost; });
        tty.Plug();
        port.Open();
        tty.Pull(error);
        ASSERT_TRUE(RunUntil([&] { return lost == 1; }));
        const std::uint64_t wakeups = tty.LineEventWakeups();
        EXPECT_EQ(PortError([&] { port.Write("a", 1, true); }),
                  "Operation failed: " + std::to_string(error));
        EXPECT_EQ(PortError([&] { port.InputCount(); }),
                  "Unable to read com status: " + std::to_string(error));
        main.RunQueuedFor(200ms, [] { return false; });
        EXPECT_EQ(lost, 1);
        EXPECT_EQ(tty.LineEventWakeups(), wakeups); // the event thread has ended
        port.Close();
        EXPECT_EQ(PortError([&] { port.Open(); }), "Unable to open com port: 2");
    }
}

// With evRx80Full but not evRxChar in Events, a queue past 80 per cent is
// reported once, not on every turn of the event loop.
TEST_F(RealLine, ANearlyFullQueueIsReportedOnce) {
    std::atomic<int> reports = 0;
    port.SetEvents({TEvent::evRx80Full});
    port.SetReadBufSize(10);
    port.SetSyncMethod(TSyncMethod::smNone);
    port.SetOnRx80Full([&](TComPort&) { ++reports; });
    port.Open();
    pty.WriteMaster("123456789");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(reports.load(), 1);
    EXPECT_LE(tty.LineEventWakeups(), 20u);
    port.Close();
}

// A write left pending moves only while a call works on it: WaitForWrite
// after the time limit still sends every byte instead of a short count.
TEST_F(RealLine, AWriteCollectedLateStillSendsEveryByte) {
    port.SetEvents({});
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(100);
    tty.LimitWriteChunk(64);
    port.Open();
    const std::string frame(1000, 'x');
    EXPECT_EQ(port.Write(frame.data(), 1000, false), -1);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(port.WaitForWrite(), 1000);
    EXPECT_EQ(pty.ReadMaster(1000), frame);
}

TEST_F(RealLine, AHugeWriteMultiplierMeansNoLimit) {
    port.SetEvents({});
    port.Timeouts().SetWriteTotalMultiplier(-1);
    tty.HoldOutput(1000);
    port.Open();
    std::thread release([&] {
        std::this_thread::sleep_for(100ms);
        tty.ReleaseOutput();
    });
    const std::string frame(3000, 'y');
    EXPECT_EQ(port.Write(frame.data(), 3000, true), 3000);
    release.join();
    EXPECT_EQ(pty.ReadMaster(3000), frame);
}

// A write that reported its bytes as written reaches the line even when the
// port is closed while the adapter still holds them.
TEST_F(RealLine, CloseLetsAWrittenFrameReachTheLine) {
    tty.HoldOutput();
    port.Open();
    EXPECT_EQ(port.Write("frame", 5, true), 5);
    std::thread release([&] {
        std::this_thread::sleep_for(100ms);
        tty.ReleaseOutput();
    });
    port.Close();
    release.join();
    EXPECT_EQ(pty.ReadMaster(5), "frame");
}

// A stalled adapter never drains: the close waits for the wire time of what
// is queued and a margin, not for the write's limit (100 ms a byte).
TEST_F(RealLine, CloseGivesUpOnOutputThatNeverDrains) {
    tty.HoldOutput();
    port.Open();
    const std::string block(1000, 'z');
    EXPECT_EQ(port.Write(block.data(), 1000, true), 1000);
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    // 1000 bytes at 38400 baud are 260 ms on the wire.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(port.Connected());
}

// A write that lands while the event thread judges the output queue empty
// gets a TxEmpty of its own.
TEST_F(RealLine, AWriteDuringTheEmptyCheckGetsItsTxEmpty) {
    int empties = 0;
    port.SetEvents({TEvent::evTxEmpty});
    port.SetOnTxEmpty([&](TComPort&) { ++empties; });
    port.Open();
    tty.OnNextOutputCount([&] { port.Write("b", 1, true); });
    port.Write("a", 1, true);
    EXPECT_TRUE(RunUntil([&] { return empties == 2; }));
    EXPECT_EQ(pty.ReadMaster(2), "ab");
}

// An abort wakes a blocked read even when a newer write, started after the
// abort, saw the wake-up first.
TEST(RealLineDriver, AnAbortWakesAnOlderWaitThatANewerOneSawFirst) {
    PtyPair pty;
    FaultyTty tty;
    PosixSerialDriver driver(tty);
    ASSERT_TRUE(driver.Open(pty.SlavePath()));
    driver.SetCommTimeouts({0, 0, 5000, 0, 5000});
    tty.HoldOutput(0);

    std::uint8_t in[1] = {};
    Transfer read{.write = false, .data = in, .count = 1};
    int readError = 0;
    std::chrono::steady_clock::duration readTime{};
    tty.PauseNextReadWait();
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        if (driver.Advance(read, true) == SerialDriver::Progress::Failed)
            readError = driver.LastError();
        readTime = std::chrono::steady_clock::now() - start;
    });
    tty.AwaitReadWaitPaused();
    driver.Purge(purge::TxAbort | purge::RxAbort);

    std::uint8_t out[1] = {'w'};
    Transfer write{.write = true, .data = out, .count = 1};
    std::thread writer([&] { driver.Advance(write, true); });
    std::this_thread::sleep_for(50ms); // the newer write meets the wake-up first
    tty.ResumeReadWait();
    reader.join();
    EXPECT_EQ(readError, ECANCELED);
    EXPECT_LT(readTime, 1s);
    driver.Purge(purge::TxAbort);
    writer.join();
    driver.Close();
}

TEST_F(RealLine, LowLatencyIsUndoneOnClose) {
    port.Open();
    EXPECT_NE(tty.SerialFlags() & ASYNC_LOW_LATENCY, 0);
    port.Close();
    EXPECT_EQ(tty.SerialFlags(), 0);
}

} // namespace
