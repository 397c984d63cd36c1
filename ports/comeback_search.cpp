#include "ports/comeback_search.h"

#include "ports/port_selector.h"

#include <algorithm>

namespace dedarida {

namespace {

bool SamePort(const SerialPortInfo& a, const SerialPortInfo& b) {
    return a.device == b.device && SameUnit(a, b);
}

bool OnPath(const SerialPortInfo& port, const SerialPortInfo& unit) {
    return port.usb && unit.usb && port.usb->portPath == unit.usb->portPath;
}

} // namespace

ComebackSearch::ComebackSearch(SerialPortInfo unit, std::vector<SerialPortInfo> presentAtLoss)
    : unit_(std::move(unit)), others_(std::move(presentAtLoss)) {
    std::erase_if(others_,
                  [this](const SerialPortInfo& port) { return port.device == unit_.device; });
    shared_ = std::any_of(others_.begin(), others_.end(),
                          [this](const SerialPortInfo& port) { return SameUnit(port, unit_); });
}

ComebackSearch::Found ComebackSearch::Look(const std::vector<SerialPortInfo>& now) {
    std::erase_if(others_, [&](const SerialPortInfo& other) {
        return std::none_of(now.begin(), now.end(),
                            [&](const SerialPortInfo& port) { return SamePort(port, other); });
    });
    // Its own node, listed a moment longer, is no second port.
    shared_ = shared_ || std::count_if(now.begin(), now.end(), [this](const SerialPortInfo& port) {
                             return port.device != unit_.device && SameUnit(port, unit_);
                         }) > 1;
    const auto mayBe = [this](const SerialPortInfo& port) {
        return !shared_ || !unit_.usb || unit_.usb->portPath.empty() || OnPath(port, unit_);
    };
    Found found;
    std::vector<SerialPortInfo> fresh;
    for (const SerialPortInfo& port : now) {
        if (!SameUnit(port, unit_))
            continue;
        if (port.device == unit_.device) {
            if (mayBe(port))
                found.candidates.push_back(port);
        } else if (std::none_of(others_.begin(), others_.end(), [&](const SerialPortInfo& other) {
                       return SamePort(port, other);
                   })) {
            fresh.push_back(port);
        }
    }
    // Of clones come back together, the one in the unit's own USB port.
    if (fresh.size() > 1 &&
        std::count_if(fresh.begin(), fresh.end(),
                      [&](const SerialPortInfo& port) { return OnPath(port, unit_); }) == 1)
        std::erase_if(fresh, [&](const SerialPortInfo& port) { return !OnPath(port, unit_); });
    if (fresh.size() == 1 && mayBe(fresh.front()))
        found.candidates.push_back(fresh.front());
    else if (fresh.size() > 1)
        found.ambiguous = std::move(fresh);
    return found;
}

} // namespace dedarida
