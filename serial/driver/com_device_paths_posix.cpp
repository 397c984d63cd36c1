#include "serial/com_names.h"

#include <cstdlib>

namespace dedarida {

namespace {

constexpr const char* kFixedDevices[] = {"/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",
                                         "/dev/ttyS3",   "/dev/ttyUSB0", "/dev/ttyUSB1",
                                         "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyACM1"};

} // namespace

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
