#pragma once

#include <cstdint>

namespace dedarida {

// The line settings the port hands its driver, one field per setting of the
// classic serial line record. Values as the driver expects them (bits per
// second, 5..8 data bits, parity 0..4 = none/odd/even/mark/space, stop bits
// 0..2 = one/one and a half/two, control modes 0..3).
struct Dcb {
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = 0;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = 0;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    bool operator==(const Dcb&) const = default;
};

// Milliseconds; 0xFFFFFFFF in ReadIntervalTimeout with zero read totals means
// "return at once with what is queued".
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const CommTimeouts&) const = default;
};

// Line errors counted since the port was opened. A buffer overrun of the
// driver counts as an overrun.
struct LineErrorCounts {
    std::uint32_t framing = 0;
    std::uint32_t parity = 0;
    std::uint32_t overrun = 0;
    std::uint32_t breaks = 0;
    bool Any() const { return framing + parity + overrun + breaks != 0; }
    bool operator==(const LineErrorCounts&) const = default;
};

// Line event bits of the driver's event mask.
namespace event_bit {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t CTS = 0x0008;
inline constexpr std::uint32_t DSR = 0x0010;
inline constexpr std::uint32_t RLSD = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Error = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t Rx80Full = 0x0400;
} // namespace event_bit

// Purge actions.
namespace purge {
inline constexpr std::uint32_t TxAbort = 0x0001;
inline constexpr std::uint32_t RxAbort = 0x0002;
inline constexpr std::uint32_t TxClear = 0x0004;
inline constexpr std::uint32_t RxClear = 0x0008;
} // namespace purge

} // namespace dedarida
