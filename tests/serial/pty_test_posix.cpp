#include "serial/comport.h"
#include "serial/run_queue.h"
#include "tests/serial/port_error.h"
#include "tests/serial/pty_pair.h"

#include <asm/termbits.h>
#include <atomic>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

using namespace dedarida;
using namespace std::chrono_literals;
using dedarida::test::PortError;
using dedarida::test::PtyPair;

namespace {

std::set<std::string> ThreadIds() {
    std::set<std::string> ids;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ids.insert(entry->d_name);
    closedir(dir);
    return ids;
}

// User plus system CPU time of one thread in clock ticks; 0 once it has ended.
long CpuTicks(const std::string& tid) {
    std::ifstream stat("/proc/self/task/" + tid + "/stat");
    std::string text;
    std::getline(stat, text);
    if (text.empty())
        return 0;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    long user = 0;
    long system = 0;
    fields >> user >> system;
    return user + system;
}

std::string ErrorOf(TComPort& port) {
    return PortError([&] { port.Open(); });
}

bool IsOpenError(const std::string& text) {
    const std::string prefix = "Unable to open com port: ";
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
           text.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

class PtyPort : public ::testing::Test {
protected:
    PtyPort() {
        port.SetDevicePath(pty.SlavePath());
        port.SetBaudRate(TBaudRate::br4800);
    }
    void AwaitQueued(std::int32_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (port.InputCount() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(port.InputCount(), count);
    }

    PtyPair pty;
    RunQueue main;
    TComPort port{main};
};

TEST_F(PtyPort, PortInUseAndAbsentDeviceFailToOpen) {
    port.Open();
    TComPort second(main);
    second.SetDevicePath(pty.SlavePath());
    EXPECT_TRUE(IsOpenError(ErrorOf(second))) << ErrorOf(second);
    EXPECT_FALSE(second.Connected());
    port.Close();
    EXPECT_EQ(ErrorOf(second), ""); // released on close
    second.Close();

    TComPort absent(main);
    absent.SetDevicePath("/dev/dedarida-no-such-device");
    EXPECT_EQ(ErrorOf(absent), "Unable to open com port: 2");
    absent.SetDevicePath("");
    absent.SetPort(99); // COM100 has no device
    EXPECT_EQ(ErrorOf(absent), "Unable to open com port: 2");
}

TEST_F(PtyPort, ComNameResolvesThroughTheEnvironment) {
    setenv("DEDARIDA_COM7", pty.SlavePath().c_str(), 1);
    TComPort named(main);
    named.SetPort(6);
    named.Open();
    EXPECT_TRUE(named.Connected());
    named.Close();
    unsetenv("DEDARIDA_COM7");
}

TEST_F(PtyPort, BaudChangeWhileOpenReachesTheLineWithoutReopening) {
    int opens = 0;
    port.SetOnOpen([&](TComPort&) { ++opens; });
    port.Open();
    EXPECT_EQ(pty.MasterSettings().cflag & CBAUD, tcflag_t{B4800});
    port.SetBaudRate(TBaudRate::br38400);
    EXPECT_EQ(pty.MasterSettings().cflag & CBAUD, tcflag_t{B38400});
    for (const auto& [rate, bps] :
         {std::pair{TBaudRate::br14400, 14400U}, std::pair{TBaudRate::br56000, 56000U}}) {
        port.SetBaudRate(rate);
        const PtyPair::Settings s = pty.MasterSettings();
        EXPECT_EQ(s.cflag & CBAUD, tcflag_t{BOTHER});
        EXPECT_EQ(s.ospeed, bps);
    }
    EXPECT_EQ(opens, 1);
}

TEST_F(PtyPort, LineSettingsReachThePty) {
    port.Parity().SetBits(TParityBits::prMark);
    port.SetStopBits(TStopBits::sbOne5StopBits);
    port.SetDataBits(TDataBits::dbSeven);
    port.FlowControl().SetOutCtsFlow(true);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetControlDtr(TDtrFlowControl::dtrEnable); // a pty has no lines
    port.Open();
    PtyPair::Settings s = pty.MasterSettings();
    // A pty keeps eight data bits and no parity enable; the rest it keeps.
    EXPECT_EQ(s.cflag & (PARODD | CMSPAR | CSTOPB), tcflag_t{PARODD | CMSPAR | CSTOPB});
    EXPECT_NE(s.cflag & CRTSCTS, 0U);
    EXPECT_EQ(s.iflag & (IXON | IXOFF), tcflag_t{IXOFF});
    port.Parity().SetBits(TParityBits::prSpace);
    s = pty.MasterSettings();
    EXPECT_EQ(s.cflag & (PARODD | CMSPAR), tcflag_t{CMSPAR});
}

TEST_F(PtyPort, BytesMoveBothWays) {
    port.SetEvents({});
    port.Open();
    EXPECT_EQ(port.Write("\x55\x10\x00\xFF", 4, true), 4);
    EXPECT_EQ(pty.ReadMaster(4), std::string("\x55\x10\x00\xFF", 4));

    char got[8] = {};
    EXPECT_EQ(port.Read(got, 8, true), 0); // default timeouts: at once, nothing queued
    pty.WriteMaster("abc");
    AwaitQueued(3);
    EXPECT_EQ(port.Read(got, 2, true), 2);
    EXPECT_EQ(port.InputCount(), 1);
    EXPECT_EQ(port.Read(got + 2, 8, false), 1);
    EXPECT_EQ(std::string(got, 3), "abc");
}

TEST_F(PtyPort, ReadTimeoutsWaitForTheBytes) {
    port.SetEvents({});
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalConstant(2000);
    port.Open();
    std::thread device([&] {
        std::this_thread::sleep_for(5ms);
        pty.WriteMaster("0123");
    });
    char got[4] = {};
    EXPECT_EQ(port.Read(got, 4, true), 4);
    device.join();
    EXPECT_EQ(std::string(got, 4), "0123");
}

TEST_F(PtyPort, TxEmptyFollowsAWrite) {
    int empties = 0;
    port.SetOnTxEmpty([&](TComPort&) { ++empties; });
    port.SetEvents({TEvent::evTxEmpty});
    port.Open();
    port.Write("ab", 2, true);
    main.RunQueuedFor(2s, [&] { return empties == 1; });
    port.Close();
    EXPECT_EQ(empties, 1);
}

TEST_F(PtyPort, CloseWakesAWaitingReadOnAnotherThread) {
    port.SetEvents({});
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalConstant(60000);
    port.Open();
    std::string error;
    std::atomic<bool> reading = false;
    std::thread reader([&] {
        char byte = 0;
        reading = true;
        try {
            port.Read(&byte, 1, true);
        } catch (const EComPort& e) {
            error = e.what();
        }
    });
    while (!reading)
        std::this_thread::yield();
    std::this_thread::sleep_for(5ms); // let it block in the read
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    reader.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(error == "Operation failed: 125" || error == "Operation failed: 9") << error;
}

TEST_F(PtyPort, RxCharDeliversAndTheHandlerDrains) {
    std::string received;
    std::vector<std::int32_t> counts;
    port.SetOnRxChar([&](TComPort& sender, std::int32_t inQue) {
        counts.push_back(inQue);
        char chunk[64];
        while (sender.InputCount() > 0)
            received.append(chunk, static_cast<std::size_t>(sender.Read(chunk, 64, true)));
    });
    port.SetEvents({TEvent::evRxChar});
    port.Open();
    pty.WriteMaster("hello");
    main.RunQueuedFor(2s, [&] { return received.size() == 5; });
    port.Close();
    EXPECT_EQ(received, "hello");
    ASSERT_FALSE(counts.empty());
    EXPECT_GE(counts.front(), 1);
}

TEST_F(PtyPort, CloseDiscardsUnreadInput) {
    port.SetEvents({TEvent::evRxChar}); // nobody reads: the bytes stay queued
    port.Open();
    pty.WriteMaster("unread");
    AwaitQueued(6);
    port.Close();
    port.SetEvents({});
    port.Open();
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(PtyPort, HangUpGivesErrorsWithoutSpinning) {
    std::atomic<int> deliveries = 0;
    port.SetOnRxChar([&](TComPort&, std::int32_t) { ++deliveries; }); // never reads
    port.SetEvents({TEvent::evRxChar});
    port.SetSyncMethod(TSyncMethod::smNone);
    const std::set<std::string> before = ThreadIds();
    port.Open();
    std::string eventThread;
    for (const std::string& id : ThreadIds())
        if (!before.contains(id))
            eventThread = id;
    ASSERT_FALSE(eventThread.empty());

    pty.WriteMaster("xyz");
    AwaitQueued(3);
    const long unreadStart = CpuTicks(eventThread);
    std::this_thread::sleep_for(300ms); // unread bytes must not be redelivered flat out
    EXPECT_LE(CpuTicks(eventThread) - unreadStart, 3);
    EXPECT_LE(deliveries, 2);

    pty.CloseMaster();
    const long start = CpuTicks(eventThread);
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(CpuTicks(eventThread) - start, 3);
    char byte = 0;
    EXPECT_THROW(port.Write("a", 1, true), EComPort);
    EXPECT_THROW(port.Read(&byte, 1, true), EComPort);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

} // namespace
