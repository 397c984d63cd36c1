#include "serial/comport.h"
#include "serial/run_queue.h"
#include "tests/serial/fake_driver.h"
#include "tests/serial/port_error.h"

#include <gtest/gtest.h>

using namespace dedarida;
using dedarida::test::FakeDriver;
using dedarida::test::FakeLine;
using dedarida::test::PortError;

namespace {

class ComPortConfig : public dedarida::test::FakePortTest {
protected:
    ComPortConfig() {
        port.SetEvents({});
        port.SetDevicePath("/dev/fake");
    }
};

TEST_F(ComPortConfig, DefaultsAreThoseOfANewPort) {
    EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(port.Port(), 1);
    EXPECT_EQ(port.PortName(), "COM2");
    EXPECT_EQ(port.StopBits(), TStopBits::sbOneStopBit);
    EXPECT_EQ(port.DataBits(), TDataBits::dbEight);
    EXPECT_FALSE(port.DiscardNull());
    EXPECT_EQ(port.EventChar(), 0);
    EXPECT_EQ(port.WriteBufSize(), 1024U);
    EXPECT_EQ(port.ReadBufSize(), 1024U);
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smSynchronize);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Parity().Bits(), TParityBits::prNone);
    EXPECT_EQ(port.FlowControl().ControlRts(), TRtsFlowControl::rtsDisable);
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(line->Calls().empty());
    // The fixture clears the events; a port of its own shows their default.
    const TComPort fresh(main, std::make_unique<FakeDriver>(line));
    EXPECT_EQ(fresh.Events().Bits(), 0x3FF);
}

TEST_F(ComPortConfig, OpenSendsQueuesLineAndTimeoutsInThatOrder) {
    port.SetReadBufSize(2048);
    port.SetWriteBufSize(2048);
    port.SetBaudRate(TBaudRate::br4800);
    EXPECT_TRUE(line->Calls().empty()); // closed: stored only
    port.Open();
    EXPECT_EQ(line->Calls(),
              (std::vector<std::string>{"Open", "SetupComm", "SetCommState", "SetCommTimeouts"}));
    EXPECT_EQ(line->openedPath, "/dev/fake");
    EXPECT_EQ(line->inQueue, 2048U);
    EXPECT_EQ(line->outQueue, 2048U);
    EXPECT_EQ(line->dcb.BaudRate, 4800U);
    EXPECT_EQ(line->dcb.XonLim, 512);
    EXPECT_EQ(line->dcb.XoffLim, 512);
    EXPECT_EQ(line->timeouts, (CommTimeouts{0xFFFFFFFF, 0, 0, 100, 1000}));
}

// A port whose settings have not all gone to the device is not connected:
// nothing may write to it as if it were.
TEST_F(ComPortConfig, ConnectedOnlyOnceTheLineIsConfigured) {
    std::vector<bool> seen;
    line->onConfigure = [&] { seen.push_back(port.Connected()); };
    port.Open();
    EXPECT_EQ(seen, std::vector<bool>{false});
    EXPECT_TRUE(port.Connected());
    port.SetBaudRate(TBaudRate::br38400); // open: the setting goes to the device at once
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

TEST_F(ComPortConfig, DefaultLineSettingsRecord) {
    port.Open();
    Dcb expected;
    expected.BaudRate = 9600;
    expected.fBinary = true;
    expected.XonLim = 256;
    expected.XoffLim = 256;
    expected.ByteSize = 8;
    expected.XonChar = 0x11;
    expected.XoffChar = 0x13;
    EXPECT_EQ(line->dcb, expected);
}

TEST_F(ComPortConfig, EveryLinePropertyLandsInItsField) {
    port.Open();
    port.SetStopBits(TStopBits::sbOne5StopBits);
    port.SetDataBits(TDataBits::dbSeven);
    port.SetDiscardNull(true);
    port.SetEventChar(0x7E);
    port.Parity().SetBits(TParityBits::prMark);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar(0x3F);
    port.FlowControl().SetOutCtsFlow(true);
    port.FlowControl().SetOutDsrFlow(true);
    port.FlowControl().SetControlDtr(TDtrFlowControl::dtrHandshake);
    port.FlowControl().SetControlRts(TRtsFlowControl::rtsToggle);
    port.FlowControl().SetXonXoffOut(true);
    port.FlowControl().SetXonXoffIn(true);
    const Dcb d = line->dcb;
    EXPECT_EQ(d.StopBits, 1);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_TRUE(d.fNull);
    EXPECT_EQ(d.EvtChar, 0x7E);
    EXPECT_EQ(d.Parity, 3);
    EXPECT_TRUE(d.fParity);
    EXPECT_TRUE(d.fErrorChar);
    EXPECT_EQ(d.ErrorChar, 0x3F);
    EXPECT_TRUE(d.fOutxCtsFlow);
    EXPECT_TRUE(d.fOutxDsrFlow);
    EXPECT_EQ(d.fDtrControl, 2);
    EXPECT_EQ(d.fRtsControl, 3);
    EXPECT_TRUE(d.fOutX);
    EXPECT_TRUE(d.fInX);
    EXPECT_FALSE(d.fDsrSensitivity || d.fTXContinueOnXoff || d.fAbortOnError);
    EXPECT_EQ(line->Count("SetCommState"), 15U); // one per change, plus Open's
}

TEST_F(ComPortConfig, AllBaudRatesInOrdinalOrder) {
    const std::uint32_t expected[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                      14400, 19200, 38400, 56000, 57600, 115200};
    port.Open();
    for (std::uint8_t i = 0; i < 13; ++i) {
        port.SetBaudRate(static_cast<TBaudRate>(i));
        EXPECT_EQ(line->dcb.BaudRate, expected[i]) << int(i);
    }
}

TEST_F(ComPortConfig, SettersCompareFirstAndFailuresKeepTheValue) {
    port.Open();
    const std::size_t sent = line->Count("SetCommState");
    port.SetBaudRate(TBaudRate::br9600);
    port.Timeouts().SetReadInterval(-1);
    port.SetReadBufSize(1024);
    EXPECT_EQ(line->Count("SetCommState"), sent);
    EXPECT_EQ(line->Count("SetCommTimeouts"), 1U);
    EXPECT_EQ(line->Count("SetupComm"), 1U);

    line->failCall = "SetCommState";
    line->failError = 22;
    EXPECT_EQ(PortError([&] { port.SetBaudRate(TBaudRate::br38400); }),
              "Unable to set com state: 22");
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);
    port.SetBaudRate(TBaudRate::br38400); // not resent
    EXPECT_EQ(line->Count("SetCommState"), sent + 1);
}

TEST_F(ComPortConfig, OpenFailuresLeaveThePortClosed) {
    line->failCall = "Open";
    line->failError = 2;
    EXPECT_EQ(PortError([&] { port.Open(); }), "Unable to open com port: 2");
    EXPECT_FALSE(port.Connected());

    line->failCall = "SetCommTimeouts";
    line->failError = 5;
    EXPECT_EQ(PortError([&] { port.Open(); }), "Unable to set com state: 5");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(line->Count("Close"), 1U);
}

TEST_F(ComPortConfig, OpenAndCloseEventsInOrder) {
    std::vector<std::string> seen;
    port.SetOnOpen([&](TComPort& sender) {
        EXPECT_EQ(&sender, &port);
        seen.push_back("open");
    });
    port.SetOnClose([&](TComPort&) { seen.push_back("close"); });
    port.Close(); // closed: nothing
    port.Open();
    port.Open();     // closes first
    port.SetPort(1); // same value: no reopen
    port.SetPort(4);
    port.Close();
    port.Close();
    EXPECT_EQ(seen, (std::vector<std::string>{"open", "close", "open", "close", "open", "close"}));
    EXPECT_EQ(port.PortName(), "COM5");
}

TEST_F(ComPortConfig, PortNameFollowsEveryPortValue) {
    port.SetPort(0);
    EXPECT_EQ(port.PortName(), "COM1");
    port.SetPort(8);
    EXPECT_EQ(port.PortName(), "COM9");
    port.SetPort(255);
    EXPECT_EQ(port.PortName(), "COM256");
}

TEST_F(ComPortConfig, FailedReopenAfterPortChangeLeavesItClosed) {
    port.Open();
    line->failCall = "Open";
    line->failError = 16;
    EXPECT_THROW(port.SetPort(3), EComPort);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), 3);
}

TEST_F(ComPortConfig, SyncMethodIsFixedWhileConnected) {
    port.SetSyncMethod(TSyncMethod::smNone);
    port.Open();
    port.SetSyncMethod(TSyncMethod::smNone);
    EXPECT_EQ(PortError([&] { port.SetSyncMethod(TSyncMethod::smWindow); }),
              "Cannot set SyncMethod while connected");
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smNone);
}

TEST_F(ComPortConfig, AssignToCopiesValuesWithoutTouchingTheDriver) {
    auto otherLine = std::make_shared<FakeLine>();
    TComPort other(main, std::make_unique<FakeDriver>(otherLine));
    port.Parity().SetBits(TParityBits::prEven);
    port.FlowControl().SetXonXoffIn(true);
    port.Timeouts().SetReadTotalConstant(50);
    port.Parity().AssignTo(other.Parity());
    port.FlowControl().AssignTo(other.FlowControl());
    port.Timeouts().AssignTo(other.Timeouts());
    EXPECT_EQ(other.Parity().Bits(), TParityBits::prEven);
    EXPECT_TRUE(other.FlowControl().XonXoffIn());
    EXPECT_EQ(other.Timeouts().ReadTotalConstant(), 50);
    EXPECT_TRUE(otherLine->Calls().empty());

    other.SetEvents({});
    other.Open();
    other.Parity().SetBits(TParityBits::prOdd);
    EXPECT_EQ(otherLine->dcb.Parity, 1);
    EXPECT_EQ(line->Count("SetCommState"), 0U);
}

} // namespace
