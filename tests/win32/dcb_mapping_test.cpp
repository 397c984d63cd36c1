#include "serial/driver/dcb_mapping_win32.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

Dcb ToolLine() {
    Dcb dcb;
    dcb.BaudRate = 38400;
    dcb.fBinary = true;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.XonLim = 512;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.EvtChar = 0x7E;
    return dcb;
}

// What a driver may hand back from GetCommState: XON/XOFF on, odd settings.
DCB SystemDefault() {
    DCB d{};
    d.DCBlength = 7;
    d.BaudRate = 9600;
    d.fOutX = TRUE;
    d.fInX = TRUE;
    d.fOutxCtsFlow = TRUE;
    d.fAbortOnError = TRUE;
    d.ByteSize = 7;
    d.Parity = EVENPARITY;
    d.StopBits = TWOSTOPBITS;
    d.wReserved = 0;
    return d;
}

TEST(Win32Dcb, WritesEveryFieldOverTheSystemDefaults) {
    const DCB d = Win32Dcb(ToolLine(), SystemDefault());
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_EQ(d.BaudRate, 38400u);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fParity, 0u);
    EXPECT_EQ(d.fOutxCtsFlow, 0u);
    EXPECT_EQ(d.fOutxDsrFlow, 0u);
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(d.fAbortOnError, 0u);
    EXPECT_EQ(d.XonLim, 512);
    EXPECT_EQ(d.XoffLim, 512);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, NOPARITY);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.EvtChar, 0x7E);
}

TEST(Win32Dcb, LeavesNoSoftwareFlowControlOn) {
    // 0x11 and 0x13 are bytes of the firmware, not flow control.
    const DCB d = Win32Dcb(ToolLine(), SystemDefault());
    EXPECT_EQ(d.fOutX, 0u);
    EXPECT_EQ(d.fInX, 0u);
}

TEST(Win32Dcb, PassesFlowControlTheCallerAsksFor) {
    Dcb dcb = ToolLine();
    dcb.fOutX = true;
    dcb.fOutxDsrFlow = true;
    dcb.fDsrSensitivity = true;
    dcb.fTXContinueOnXoff = true;
    dcb.fNull = true;
    dcb.fErrorChar = true;
    dcb.ErrorChar = 0x3F;
    dcb.Parity = MARKPARITY;
    dcb.fParity = true;
    const DCB d = Win32Dcb(dcb, DCB{});
    EXPECT_EQ(d.fOutX, 1u);
    EXPECT_EQ(d.fInX, 0u);
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fDsrSensitivity, 1u);
    EXPECT_EQ(d.fTXContinueOnXoff, 1u);
    EXPECT_EQ(d.fNull, 1u);
    EXPECT_EQ(d.fErrorChar, 1u);
    EXPECT_EQ(d.ErrorChar, 0x3F);
    EXPECT_EQ(d.Parity, MARKPARITY);
    EXPECT_EQ(d.fParity, 1u);
}

} // namespace
} // namespace dedarida
