#include "app/shared/port_choice.h"

#include "serial/comport.h"

#include <algorithm>
#include <cctype>

namespace dedarida {

EConvertError::EConvertError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid integer value") {}

int PortNumberOf(const std::string& item) {
    constexpr std::size_t first = 3;
    const std::size_t count = item.size() <= 4 ? 1 : 2;
    const std::string digits = item.size() > first ? item.substr(first, count) : std::string();
    const bool decimal = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (!decimal)
        throw EConvertError(digits);
    return std::stoi(digits);
}

std::optional<PortSettings> ChoosePort(const std::string& item, int baudIndex) {
    const int number = PortNumberOf(item);
    if (number < 1 || number >= 10)
        return std::nullopt;
    return PortSettings{static_cast<std::uint8_t>(number - 1),
                        baudIndex == 1 ? TBaudRate::br38400 : TBaudRate::br4800};
}

int InitialPortIndex(const TComPort& port, int count) {
    return port.Port() < count ? port.Port() : -1;
}

bool ApplyPortChoice(TComPort& port, const std::string& item, int baudIndex) {
    const auto choice = ChoosePort(item, baudIndex);
    if (!choice)
        return false;
    port.SetPort(choice->port);
    port.SetBaudRate(choice->baudRate);
    return true;
}

} // namespace dedarida
