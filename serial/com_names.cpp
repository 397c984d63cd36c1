#include "serial/com_names.h"

#include <array>
#include <cctype>
#include <cstdlib>

namespace dedarida {

namespace {

constexpr const char* kFixedDevices[] = {"/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",
                                         "/dev/ttyS3",   "/dev/ttyUSB0", "/dev/ttyUSB1",
                                         "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyACM1"};

// The number n of "COMn" (1..256 and beyond), or 0 when the name is not one.
unsigned ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    unsigned number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return number;
}

} // namespace

const std::string& ComName(std::uint8_t port) {
    static const std::array<std::string, 256> names = [] {
        std::array<std::string, 256> all;
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = "COM" + std::to_string(i + 1);
        return all;
    }();
    return names[port];
}

std::string DevicePathForComName(const std::string& name) {
    const unsigned number = ComNumber(name);
    if (number == 0)
        return {};
    const std::string variable = "DEDARIDA_COM" + std::to_string(number);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0')
        return path;
    if (number <= std::size(kFixedDevices))
        return kFixedDevices[number - 1];
    return {};
}

std::string DevicePathForPortArgument(const std::string& argument) {
    if (argument.find('/') != std::string::npos)
        return argument;
    return DevicePathForComName(argument);
}

} // namespace dedarida
