#include "serial/driver/termios_mapping_posix.h"

#include <cstring>
#include <sys/ioctl.h>

namespace dedarida {

namespace {

struct SpeedCode {
    std::uint32_t bitsPerSecond;
    tcflag_t code;
};

constexpr SpeedCode kSpeeds[] = {{110, B110},     {300, B300},      {600, B600},
                                 {1200, B1200},   {2400, B2400},    {4800, B4800},
                                 {9600, B9600},   {19200, B19200},  {38400, B38400},
                                 {57600, B57600}, {115200, B115200}};

constexpr std::uint8_t kDtrEnable = 1;
constexpr std::uint8_t kDtrHandshake = 2;
constexpr std::uint8_t kRtsEnable = 1;
constexpr std::uint8_t kRtsHandshake = 2;

tcflag_t SpeedFlags(std::uint32_t bitsPerSecond) {
    for (const SpeedCode& s : kSpeeds)
        if (s.bitsPerSecond == bitsPerSecond)
            return s.code;
    return BOTHER;
}

tcflag_t SizeFlags(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3:
        return PARENB | CMSPAR | PARODD;
    case 4:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

} // namespace

termios2 TermiosFromDcb(const Dcb& dcb) {
    termios2 t;
    std::memset(&t, 0, sizeof t);
    const tcflag_t speed = SpeedFlags(dcb.BaudRate);
    t.c_cflag = CREAD | CLOCAL | speed | (speed << IBSHIFT) | SizeFlags(dcb.ByteSize) |
                ParityFlags(dcb.Parity);
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsHandshake)
        t.c_cflag |= CRTSCTS;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return t;
}

int ModemLinesOn(const Dcb& dcb) {
    int lines = 0;
    if (dcb.fDtrControl == kDtrEnable || dcb.fDtrControl == kDtrHandshake)
        lines |= TIOCM_DTR;
    if (dcb.fRtsControl == kRtsEnable || dcb.fRtsControl == kRtsHandshake)
        lines |= TIOCM_RTS;
    return lines;
}

int ModemLinesOff(const Dcb& dcb) {
    return (TIOCM_DTR | TIOCM_RTS) & ~ModemLinesOn(dcb);
}

} // namespace dedarida
