#pragma once

#include "ports/list_com_ports.h"

#include <vector>

namespace dedarida {

// Where a unit whose line went may be back: a port of its identity (see
// SameUnit) that was not there when the line went, or its own device again.
// A port present at the loss is another unit's (another slot's, or one
// finished and sitting there) until it goes; then its return is news. Once
// two ports of the identity have been seen at once (clones sharing a serial
// number), the serial number tells nothing: only a port in the unit's own USB
// port can be it.
class ComebackSearch {
public:
    ComebackSearch(SerialPortInfo unit, std::vector<SerialPortInfo> presentAtLoss);

    struct Found {
        std::vector<SerialPortInfo> candidates; // in the order to try them
        // Ports that appeared since the loss and that nothing tells apart
        // (clones sharing a serial number): taking one would be a guess.
        std::vector<SerialPortInfo> ambiguous;
    };
    // What the ports present now offer.
    Found Look(const std::vector<SerialPortInfo>& now);

private:
    SerialPortInfo unit_;
    std::vector<SerialPortInfo> others_;
    bool shared_ = false;
};

} // namespace dedarida
