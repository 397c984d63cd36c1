// Whole upgrades over a line that behaves like a real UART or USB adapter.
#include "serial/driver/serial_driver_posix.h"
#include "tests/faults/faulty_tty.h"
#include "tests/upgrade/upgrade_bench.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace dedarida;
using namespace dedarida::test;
using dedarida::test::FaultyTty;
using dedarida::test::LineError;
using sim::RequestKind;

namespace {

class FaultyLineUpgrade : public ::testing::Test {
protected:
    void Start(const std::function<void(sim::SimConfig&)>& configure = {}) {
        bench = std::make_unique<UpgradeBench>(
            configure, true, 40ms, [this] { return std::make_unique<PosixSerialDriver>(tty); });
        bench->Tool().Button1Click();
    }
    void InjectWhen(const std::function<bool()>& moment, LineError kind,
                    const std::string& garbage) {
        ASSERT_TRUE(bench->RunUntil(moment));
        tty.InjectLineError(kind, garbage);
    }
    void ExpectProgrammed() {
        ASSERT_TRUE(bench->RunUntil([&] { return bench->MessageShown(); }));
        const auto messages = bench->Window().Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, "System Programmed OK  v4.5");
        EXPECT_TRUE(bench->Programmed());
        EXPECT_TRUE(bench->Window().Errors().empty());
        EXPECT_EQ(bench->Tool().ComPort1().BaudRate(), TBaudRate::br4800);
    }
    unsigned Programs() const { return bench->Requests(RequestKind::Program); }

    FaultyTty tty;
    std::unique_ptr<UpgradeBench> bench;
};

TEST_F(FaultyLineUpgrade, AFramingErrorDuringTheIdentityExchange) {
    Start();
    tty.InjectLineError(LineError::Framing, std::string(1, '\0'));
    ExpectProgrammed();
    EXPECT_EQ(tty.GarbageRead(), 1u);
}

// The device's late "GOING OFFLINE" at 4800 reaches a tool already at 38400
// as framing errors and garbage.
TEST_F(FaultyLineUpgrade, ALateGoingOfflineAtTheOldSpeed) {
    Start();
    InjectWhen([&] { return bench->Tool().LinkState().LinkMode() == BootMode; }, LineError::Framing,
               std::string("\xF8\x00\xE0\x80\xFF\x00", 6));
    ExpectProgrammed();
    EXPECT_EQ(tty.GarbageRead(), 6u);
}

TEST_F(FaultyLineUpgrade, LineErrorsAtTheFirstBlockAndMidway) {
    Start();
    InjectWhen([&] { return Programs() >= 1; }, LineError::Overrun, "");
    InjectWhen([&] { return Programs() >= 43; }, LineError::Parity, std::string("\x55\xFF", 2));
    ExpectProgrammed();
    EXPECT_EQ(Programs(), 86u);
}

TEST_F(FaultyLineUpgrade, ABreakWhileTheDeviceChecksItsCrc) {
    Start([](sim::SimConfig& c) { c.checkTime = 200ms; });
    InjectWhen([&] { return bench->Requests(RequestKind::Start) >= 1; }, LineError::Break,
               std::string(1, '\0'));
    ExpectProgrammed();
}

TEST_F(FaultyLineUpgrade, APollAnsweredAtTheWrongSpeedIsAskedAgain) {
    Start([](sim::SimConfig& c) { c.faults.wrongSpeed = {{RequestKind::Poll, 1}}; });
    ExpectProgrammed();
    EXPECT_GE(bench->Requests(RequestKind::Poll), 2u);
}

// A USB adapter pulled at block 43 fails every call with ENODEV: the tool
// says so at once, closes the line and needs no restart once it is back.
TEST_F(FaultyLineUpgrade, APulledAdapterEndsTheUpgradeAndALaterStartWorks) {
    tty.FailAfterHangUp(ENODEV);
    Start([](sim::SimConfig& c) {
        c.faults.hangUpAtBlock = 43;
        c.faults.comebackDelay = 300ms;
    });
    ASSERT_TRUE(bench->RunUntil([&] { return Programs() >= 43; }));
    ASSERT_TRUE(bench->RunUntil([&] { return !bench->Window().Errors().empty(); }, 1s));
    EXPECT_EQ(bench->Window().Errors()[0], "Operation failed: the line to the device was lost");
    EXPECT_FALSE(bench->MessageShown());
    const std::uint64_t wakeups = tty.LineEventWakeups();
    bench->RunFor(200ms);
    EXPECT_LE(tty.LineEventWakeups() - wakeups, 10u);
    ASSERT_TRUE(
        bench->Device().WaitFor([](const sim::SimStatus& s) { return s.ptyGeneration == 2; }, 5s));
    ASSERT_TRUE(bench->RunUntil([&] { return bench->Tool().ComPort1().Connected(); }));
    bench->Tool().Button1Click();
    ASSERT_TRUE(bench->RunUntil([&] { return bench->MessageShown(); }));
    EXPECT_EQ(bench->Window().Messages().back().text, "System Programmed OK  v4.5");
    EXPECT_TRUE(bench->Programmed());
}

} // namespace
