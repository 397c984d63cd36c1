#pragma once

#include "ports/list_com_ports.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// Where a unit sits on the station: the USB port its adapter is plugged into
// and the interface (the ttys of one multi-interface adapter are units of
// their own), which stay the same for the same fixture whatever device name
// the system gives it, or its device where it has no USB port path.
std::string PositionOf(const SerialPortInfo& port);

// The station's units and the ports they hold, from plugging in to removal.
// A unit holds the port it was started on (or came back on) and its
// position; while its line is lost, it also holds a port that may be itself
// coming back, so that no second upgrade starts on it. Plain logic: the
// caller lists the ports and runs the processes.
class StationSlots {
public:
    struct Slot {
        std::size_t row; // the caller's
        SerialPortInfo unit;
        bool done = false;
    };

    // The ports of `present` that are new units: ports no slot holds.
    std::vector<SerialPortInfo> NewUnits(const std::vector<SerialPortInfo>& present) const;
    // Frees the slots whose finished units are no longer in `present`, and
    // returns their rows.
    std::vector<std::size_t> FreeGone(const std::vector<SerialPortInfo>& present);

    void Add(std::size_t row, const SerialPortInfo& unit) { slots_.push_back({row, unit}); }
    // The unit of `row` is on `port` now (it came back there).
    void Moved(std::size_t row, const SerialPortInfo& port);
    void Done(std::size_t row);
    const Slot* Find(std::size_t row) const;
    std::size_t Size() const { return slots_.size(); }

private:
    bool Holds(const Slot& slot, const SerialPortInfo& port,
               const std::vector<SerialPortInfo>& present) const;

    std::vector<Slot> slots_;
};

} // namespace dedarida
