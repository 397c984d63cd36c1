#pragma once

#include <cstdint>
#include <functional>

namespace dedarida {

class TComPort;

// Ordinals are part of the contract (they index the line settings tables).
enum class TBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum class TPortType : std::uint8_t { COM1, COM2, COM3, COM4, COM5, COM6, COM7, COM8 };
enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDtrFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRtsFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum class TSyncMethod : std::uint8_t { smSynchronize, smWindow, smNone };

// Set of TEvent: bit n is the event with ordinal n.
class TEvents {
public:
    constexpr TEvents() = default;
    constexpr TEvents(std::initializer_list<TEvent> events) {
        for (TEvent e : events)
            bits_ = static_cast<std::uint16_t>(bits_ | Bit(e));
    }
    static constexpr TEvents FromBits(std::uint16_t bits) {
        TEvents set;
        set.bits_ = static_cast<std::uint16_t>(bits & All().bits_);
        return set;
    }
    static constexpr TEvents All() {
        TEvents set;
        set.bits_ = 0x3FF;
        return set;
    }
    constexpr bool Contains(TEvent e) const { return (bits_ & Bit(e)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool operator==(const TEvents&) const = default;

private:
    static constexpr std::uint16_t Bit(TEvent e) {
        return static_cast<std::uint16_t>(1U << static_cast<unsigned>(e));
    }
    std::uint16_t bits_ = 0;
};

// Bits per second of a baud rate (br4800 -> 4800).
std::uint32_t BitsPerSecond(TBaudRate rate);

using TNotifyEvent = std::function<void(TComPort& Sender)>;
using TRxCharEvent = std::function<void(TComPort& Sender, std::int32_t InQue)>;

} // namespace dedarida
