#include "fleet/station_slots.h"

#include "ports/port_selector.h"

#include <algorithm>

namespace dedarida {

namespace {

bool HasDevice(const std::vector<SerialPortInfo>& ports, const std::string& device) {
    return std::any_of(ports.begin(), ports.end(),
                       [&](const SerialPortInfo& port) { return port.device == device; });
}

} // namespace

std::string PositionOf(const SerialPortInfo& port) {
    if (port.usb && !port.usb->portPath.empty())
        return "usb-path:" + port.usb->portPath +
               (port.usb->interfaceNumber.empty() ? "" : ":" + port.usb->interfaceNumber);
    return port.device;
}

bool StationSlots::Holds(const Slot& slot, const SerialPortInfo& port,
                         const std::vector<SerialPortInfo>& present) const {
    if (port.device == slot.unit.device || PositionOf(port) == PositionOf(slot.unit))
        return true;
    // A running unit whose port has gone may be coming back under another
    // name; its own process decides whether it is.
    return !slot.done && !HasDevice(present, slot.unit.device) && SameUnit(port, slot.unit);
}

std::vector<SerialPortInfo>
StationSlots::NewUnits(const std::vector<SerialPortInfo>& present) const {
    std::vector<SerialPortInfo> units;
    for (const SerialPortInfo& port : present)
        if (std::none_of(slots_.begin(), slots_.end(),
                         [&](const Slot& slot) { return Holds(slot, port, present); }))
            units.push_back(port);
    return units;
}

std::vector<std::size_t> StationSlots::FreeGone(const std::vector<SerialPortInfo>& present) {
    std::vector<std::size_t> rows;
    const auto gone = [&](const Slot& slot) {
        const bool there = std::any_of(present.begin(), present.end(), [&](const auto& port) {
            return port.device == slot.unit.device && SameUnit(port, slot.unit);
        });
        if (slot.done && !there)
            rows.push_back(slot.row);
        return slot.done && !there;
    };
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), gone), slots_.end());
    return rows;
}

void StationSlots::Moved(std::size_t row, const SerialPortInfo& port) {
    for (Slot& slot : slots_)
        if (slot.row == row)
            slot.unit = port;
}

void StationSlots::Done(std::size_t row) {
    for (Slot& slot : slots_)
        if (slot.row == row)
            slot.done = true;
}

const StationSlots::Slot* StationSlots::Find(std::size_t row) const {
    const auto slot =
        std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.row == row; });
    return slot == slots_.end() ? nullptr : &*slot;
}

} // namespace dedarida
