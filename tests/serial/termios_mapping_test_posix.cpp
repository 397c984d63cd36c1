#include "serial/driver/termios_mapping_posix.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

using namespace dedarida;

namespace {

Dcb Line(std::uint32_t baud) {
    Dcb dcb;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

struct SpeedRow {
    std::uint32_t baud;
    tcflag_t code;
};

TEST(TermiosFromDcb, EveryBaudRateHasItsCode) {
    const SpeedRow rows[] = {{110, B110},      {300, B300},     {600, B600},     {1200, B1200},
                             {2400, B2400},    {4800, B4800},   {9600, B9600},   {14400, BOTHER},
                             {19200, B19200},  {38400, B38400}, {56000, BOTHER}, {57600, B57600},
                             {115200, B115200}};
    for (const SpeedRow& row : rows) {
        const termios2 t = TermiosFromDcb(Line(row.baud));
        EXPECT_EQ(t.c_cflag & CBAUD, row.code) << row.baud;
        EXPECT_EQ((t.c_cflag >> IBSHIFT) & CBAUD, row.code) << row.baud;
        EXPECT_EQ(t.c_ospeed, row.baud);
        EXPECT_EQ(t.c_ispeed, row.baud);
    }
}

TEST(TermiosFromDcb, RawEightNoneOneByDefault) {
    const termios2 t = TermiosFromDcb(Line(4800));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0U);
    EXPECT_NE(t.c_cflag & CREAD, 0U);
    EXPECT_NE(t.c_cflag & CLOCAL, 0U);
    EXPECT_EQ(t.c_iflag, 0U);
    EXPECT_EQ(t.c_oflag, 0U);
    EXPECT_EQ(t.c_lflag, 0U);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(TermiosFromDcb, DataBitsParityAndStopBits) {
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (std::uint8_t bits = 5; bits <= 8; ++bits) {
        Dcb dcb = Line(9600);
        dcb.ByteSize = bits;
        EXPECT_EQ(TermiosFromDcb(dcb).c_cflag & CSIZE, sizes[bits - 5]);
    }
    const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                 PARENB | CMSPAR};
    for (std::uint8_t parity = 0; parity < 5; ++parity) {
        Dcb dcb = Line(9600);
        dcb.Parity = parity;
        EXPECT_EQ(TermiosFromDcb(dcb).c_cflag & (PARENB | PARODD | CMSPAR), parities[parity]);
    }
    const tcflag_t stops[] = {0, CSTOPB, CSTOPB};
    for (std::uint8_t stop = 0; stop < 3; ++stop) {
        Dcb dcb = Line(9600);
        dcb.StopBits = stop;
        EXPECT_EQ(TermiosFromDcb(dcb).c_cflag & CSTOPB, stops[stop]);
    }
}

TEST(TermiosFromDcb, FlowControlAndControlLines) {
    Dcb dcb = Line(9600);
    dcb.fOutxCtsFlow = true;
    dcb.fOutX = true;
    dcb.fInX = true;
    dcb.fParity = true;
    const termios2 t = TermiosFromDcb(dcb);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0U);
    EXPECT_EQ(t.c_iflag, tcflag_t{IXON | IXOFF}); // a bad byte is kept, not made NUL
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    Dcb handshake = Line(9600);
    handshake.fRtsControl = 2;
    EXPECT_NE(TermiosFromDcb(handshake).c_cflag & CRTSCTS, 0U);

    Dcb lines = Line(9600);
    EXPECT_EQ(ModemLinesOn(lines), 0);
    EXPECT_EQ(ModemLinesOff(lines), TIOCM_DTR | TIOCM_RTS);
    lines.fDtrControl = 1;
    lines.fRtsControl = 1;
    EXPECT_EQ(ModemLinesOn(lines), TIOCM_DTR | TIOCM_RTS);
    EXPECT_EQ(ModemLinesOff(lines), 0);
}

} // namespace
