#pragma once

#include "serial/settings/comport_types.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace dedarida {

class TComPort;

// A text that is not a decimal integer: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& text);
};

// The port number an item of the port list names: its characters from the
// fourth on (one when the item has 4 or fewer characters, two when 5 or more)
// as a decimal integer of digits only; EConvertError otherwise.
int PortNumberOf(const std::string& item);

struct PortSettings {
    std::uint8_t port; // ordinal: 0 is COM1
    TBaudRate baudRate;
};

// What OK in the port dialog sets, from the selected port item (empty without
// a selection) and the selected baud item (1 is "38400", any other "4800").
// Empty when the port is not available (numbers 10 and above, and 0, which
// names no port); EConvertError when the item names no number.
std::optional<PortSettings> ChoosePort(const std::string& item, int baudIndex);

// The port item selected when the dialog opens: by position, the item at the
// port's ordinal (it need not name the current port); -1, none, when the list
// of `count` items is shorter.
int InitialPortIndex(const TComPort& port, int count);

// OK in the port dialog: sets Port and BaudRate of `port` from the chosen
// items as ChoosePort does; false, with `port` unchanged, when the port is
// not available. EConvertError when the item names no number.
bool ApplyPortChoice(TComPort& port, const std::string& item, int baudIndex);

} // namespace dedarida
