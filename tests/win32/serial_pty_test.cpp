// The Win32 driver on a COM port that wine maps onto a pty, whose far end is
// dedarida-pty-peer. The port's name comes from DEDARIDA_TEST_PORT.
#include "ports/open_failure.h"
#include "serial/driver/serial_driver_win32.h"
#include "system/event_fd.h"
#include "text/ascii_case.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace dedarida {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kReportSpeed = 0xF1;
constexpr std::uint8_t kSendHundred = 0xF2;
constexpr std::uint8_t kHangUp = 0xF3;
constexpr std::uint8_t kReplyLate = 0xF4;
constexpr auto kLateReplyDelay = 300ms;
// Bounds of the waits for the far end; never reached when all is well.
constexpr auto kPatience = 10s;

// User and kernel time this process has used so far.
std::chrono::milliseconds ProcessorTime() {
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return std::uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
    };
    return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10'000);
}

std::string PortPath() {
    const char* port = std::getenv("DEDARIDA_TEST_PORT");
    return port == nullptr ? std::string() : std::string("\\\\.\\") + port;
}

Dcb Line(std::uint32_t bitsPerSecond) {
    Dcb dcb;
    dcb.BaudRate = bitsPerSecond;
    dcb.fBinary = true;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

class Win32Pty : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = PortPath();
        ASSERT_FALSE(path.empty()) << "set DEDARIDA_TEST_PORT to the COM port of the peer";
        // The peer may still be coming back from a hang-up.
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (!driver.Open(path)) {
            ASSERT_LT(std::chrono::steady_clock::now(), until) << "open: " << driver.LastError();
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(driver.SetupComm(2048, 2048)) << driver.LastError();
        ASSERT_TRUE(driver.SetCommState(Line(38400))) << driver.LastError();
        // A read ends when its bytes are there or after the constant.
        ASSERT_TRUE(driver.SetCommTimeouts({0, 0, 5000, 100, 1000})) << driver.LastError();
        ASSERT_TRUE(driver.Purge(purge::RxClear | purge::TxClear)) << driver.LastError();
    }

    std::int32_t Write(std::vector<std::uint8_t> bytes) {
        Transfer op;
        op.write = true;
        op.data = bytes.data();
        op.count = static_cast<std::int32_t>(bytes.size());
        EXPECT_EQ(driver.Advance(op, true), SerialDriver::Progress::Complete) << driver.LastError();
        return op.done;
    }

    std::vector<std::uint8_t> Read(std::int32_t count) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
        Transfer op;
        op.data = bytes.data();
        op.count = count;
        EXPECT_EQ(driver.Advance(op, true), SerialDriver::Progress::Complete) << driver.LastError();
        bytes.resize(static_cast<std::size_t>(op.done));
        return bytes;
    }

    std::string SpeedOnTheMaster() {
        Write({kReportSpeed});
        std::string reply;
        while (reply.empty() || reply.back() != '\n') {
            const std::vector<std::uint8_t> byte = Read(1);
            if (byte.empty())
                return reply + "(no reply)";
            reply += static_cast<char>(byte[0]);
        }
        reply.pop_back();
        return reply;
    }

    std::int32_t InputCountOnceAt(std::int32_t expected) {
        std::int32_t count = -1;
        const auto until = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < until) {
            EXPECT_TRUE(driver.InputCount(count)) << driver.LastError();
            if (count >= expected)
                break;
            std::this_thread::sleep_for(10ms);
        }
        return count;
    }

    // One event wait on a thread of its own; `stop` ends it, `bits` gets its events.
    // LastError of a failed wait goes to `waitError`.
    std::future<SerialDriver::WaitOutcome> WaitForEvents() {
        return std::async(std::launch::async, [this] {
            const auto outcome = driver.WaitCommEvent(stop, bits);
            waitError = driver.LastError();
            return outcome;
        });
    }

    Win32SerialDriver driver;
    EventFd stop;
    std::uint32_t bits = 0;
    std::atomic<int> waitError = 0;
};

TEST_F(Win32Pty, MovesEveryByteBothWaysIncludingXonAndXoff) {
    std::vector<std::uint8_t> bytes(kReportSpeed);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    bytes.insert(bytes.end(), bytes.begin(), bytes.end());
    const auto count = static_cast<std::int32_t>(bytes.size());
    EXPECT_EQ(Write(bytes), count);
    EXPECT_EQ(Read(count), bytes);
}

TEST_F(Win32Pty, MovesATransferLongerThanTheDriversBuffer) {
    std::vector<std::uint8_t> bytes(Win32SerialDriver::kChunkBytes + 1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i % kReportSpeed);
    const auto count = static_cast<std::int32_t>(bytes.size());
    auto echo = std::async(std::launch::async, [&] { return Read(count); });
    EXPECT_EQ(Write(bytes), count);
    EXPECT_EQ(echo.get(), bytes);
}

TEST_F(Win32Pty, SetsTheLineSpeedTheMasterSees) {
    ASSERT_TRUE(driver.SetCommState(Line(4800))) << driver.LastError();
    EXPECT_EQ(SpeedOnTheMaster(), "4800");
    ASSERT_TRUE(driver.SetCommState(Line(38400))) << driver.LastError();
    EXPECT_EQ(SpeedOnTheMaster(), "38400");
}

TEST_F(Win32Pty, CountsTheInputExactly) {
    Write({kSendHundred});
    EXPECT_EQ(InputCountOnceAt(100), 100);
    EXPECT_EQ(Read(40).size(), 40u);
    std::int32_t count = -1;
    ASSERT_TRUE(driver.InputCount(count));
    EXPECT_EQ(count, 60);
    ASSERT_TRUE(driver.Purge(purge::RxClear));
    ASSERT_TRUE(driver.InputCount(count));
    EXPECT_EQ(count, 0);
}

TEST_F(Win32Pty, ReportsArrivingBytesAsAnEvent) {
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar));
    auto wait = WaitForEvents();
    Write({kSendHundred});
    ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(wait.get(), SerialDriver::WaitOutcome::Events);
    EXPECT_EQ(bits, event_bit::RxChar);
}

TEST_F(Win32Pty, StopsAPendingEventWaitAndClosesAtOnce) {
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar | event_bit::Error));
    auto wait = WaitForEvents();
    EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout) << "nothing to report yet";
    stop.Set();
    ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(wait.get(), SerialDriver::WaitOutcome::Stopped);
    driver.Close();
    // The port is free again: nothing of the wait holds it.
    ASSERT_TRUE(driver.Open(PortPath())) << driver.LastError();
}

TEST_F(Win32Pty, AbortEndsAPendingRead) {
    ASSERT_TRUE(driver.SetCommTimeouts({0, 0, 0, 100, 1000}));
    std::array<std::uint8_t, 10> buffer{};
    Transfer op;
    op.data = buffer.data();
    op.count = static_cast<std::int32_t>(buffer.size());
    ASSERT_EQ(driver.Advance(op, false), SerialDriver::Progress::Pending);
    // LastError belongs to the thread that made the call.
    auto read = std::async(std::launch::async, [&] {
        const auto progress = driver.Advance(op, true);
        return std::pair{progress, driver.LastError()};
    });
    EXPECT_EQ(read.wait_for(100ms), std::future_status::timeout);
    ASSERT_TRUE(driver.Purge(purge::RxAbort)) << driver.LastError();
    ASSERT_EQ(read.wait_for(kPatience), std::future_status::ready);
    const auto [progress, error] = read.get();
    EXPECT_EQ(progress, SerialDriver::Progress::Failed);
    EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
    // The next read gets the line, not the dropped one's leftovers.
    Write({'x'});
    EXPECT_EQ(Read(1), std::vector<std::uint8_t>{'x'});
}

// Wine ends every event wait on a pty within milliseconds, as the pty has no
// modem lines; re-arming at once kept about a quarter of a core busy.
TEST_F(Win32Pty, AnIdleEventWaitLeavesTheProcessorAlone) {
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar));
    const auto before = ProcessorTime();
    auto wait = WaitForEvents();
    EXPECT_EQ(wait.wait_for(1s), std::future_status::timeout) << "nothing to report";
    stop.Set();
    ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(wait.get(), SerialDriver::WaitOutcome::Stopped);
    EXPECT_LT(ProcessorTime() - before, 100ms);
}

// Those waits end so on the pty whatever the line does; a reply is heard
// when it comes all the same, be it at once or long after its request.
TEST_F(Win32Pty, AReplyIsHeardWhenItComes) {
    struct Row {
        const char* name;
        std::uint8_t request;
        std::uint8_t reply;
        std::chrono::milliseconds after;
    };
    const Row rows[] = {{"an echo", 'x', 'x', 0ms},
                        {"a late reply", kReplyLate, 'L', kLateReplyDelay}};
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar));
    for (const Row& row : rows) {
        std::vector<std::chrono::steady_clock::duration> delays;
        for (int round = 0; round < 7; ++round) {
            auto wait = WaitForEvents();
            std::this_thread::sleep_for(300ms); // the line has been idle a while
            Write({row.request});
            const auto due = std::chrono::steady_clock::now() + row.after;
            ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready) << row.name;
            delays.push_back(std::chrono::steady_clock::now() - due);
            EXPECT_EQ(wait.get(), SerialDriver::WaitOutcome::Events)
                << row.name << ": " << waitError;
            EXPECT_EQ(Read(1), std::vector<std::uint8_t>{row.reply}) << row.name;
        }
        std::sort(delays.begin(), delays.end());
        EXPECT_LT(delays[delays.size() / 2], 20ms) << row.name;
    }
}

// What ends such an idle wait stays the port's input: counted, read in
// order, or purged, byte for byte.
TEST_F(Win32Pty, BytesThatEndAnIdleWaitAreCountedReadInOrderOrPurged) {
    std::vector<std::uint8_t> hundred(100);
    std::iota(hundred.begin(), hundred.end(), std::uint8_t{0});
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar));
    for (const bool purged : {false, true}) {
        auto wait = WaitForEvents();
        std::this_thread::sleep_for(300ms);
        Write({kSendHundred});
        ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready);
        EXPECT_EQ(wait.get(), SerialDriver::WaitOutcome::Events) << waitError;
        EXPECT_EQ(InputCountOnceAt(100), 100);
        if (!purged) {
            EXPECT_EQ(Read(100), hundred);
            continue;
        }
        ASSERT_TRUE(driver.Purge(purge::RxClear));
        std::int32_t count = -1;
        ASSERT_TRUE(driver.InputCount(count));
        EXPECT_EQ(count, 0);
    }
}

// Wine lets a second handle onto a port in use; the tool's own lock refuses
// a second open of the device however it is named, until the first closes.
TEST_F(Win32Pty, ASecondOpenOfThePortIsRefusedAsInUse) {
    const std::string port = std::getenv("DEDARIDA_TEST_PORT");
    for (const std::string& name : {PortPath(), AsciiLower(PortPath()), port}) {
        Win32SerialDriver second;
        EXPECT_FALSE(second.Open(name)) << name;
        EXPECT_EQ(ClassifyOpenFailure(second.LastError()), OpenFailure::InUse) << name;
    }
    driver.Close();
    Win32SerialDriver second;
    EXPECT_TRUE(second.Open(PortPath())) << second.LastError();
}

// Last: the peer takes a moment to come back.
TEST_F(Win32Pty, ReportsAHangUpAsAFailedWait) {
    ASSERT_TRUE(driver.SetCommMask(event_bit::RxChar | event_bit::Error));
    auto wait = std::async(std::launch::async, [&] {
        SerialDriver::WaitOutcome outcome;
        // The echo of nothing: only the hang-up ends the waits.
        while ((outcome = driver.WaitCommEvent(stop, bits)) == SerialDriver::WaitOutcome::Events) {
        }
        return std::pair{outcome, driver.LastError()};
    });
    Write({kHangUp});
    ASSERT_EQ(wait.wait_for(kPatience), std::future_status::ready) << "the wait missed the hang-up";
    const auto [outcome, error] = wait.get();
    EXPECT_EQ(outcome, SerialDriver::WaitOutcome::Failed);
    EXPECT_NE(error, 0);
    std::int32_t count = 0;
    EXPECT_FALSE(driver.InputCount(count));
}

} // namespace
} // namespace dedarida
