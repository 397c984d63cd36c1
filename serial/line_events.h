#pragma once

#include "serial/settings/comport_types.h"
#include "serial/settings/line_records.h"

#include <array>
#include <cstdint>

namespace dedarida {

struct LineEvent {
    TEvent event;
    std::uint32_t bit;
};

// In delivery order.
inline constexpr std::array<LineEvent, 10> kLineEvents{{
    {TEvent::evRxChar, event_bit::RxChar},
    {TEvent::evTxEmpty, event_bit::TxEmpty},
    {TEvent::evBreak, event_bit::Break},
    {TEvent::evRing, event_bit::Ring},
    {TEvent::evCTS, event_bit::CTS},
    {TEvent::evDSR, event_bit::DSR},
    {TEvent::evRxFlag, event_bit::RxFlag},
    {TEvent::evRLSD, event_bit::RLSD},
    {TEvent::evError, event_bit::Error},
    {TEvent::evRx80Full, event_bit::Rx80Full},
}};

// The driver's event mask for a set of events.
constexpr std::uint32_t EventMaskOf(TEvents events) {
    std::uint32_t mask = 0;
    for (const LineEvent& e : kLineEvents)
        if (events.Contains(e.event))
            mask |= e.bit;
    return mask;
}

} // namespace dedarida
