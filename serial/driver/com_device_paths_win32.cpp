#include "serial/com_names.h"

namespace dedarida {

namespace {

constexpr const char kDevicePrefix[] = "\\\\.\\";

} // namespace

std::string DevicePathForComName(const std::string& name) {
    const unsigned number = ComNumber(name);
    if (number == 0)
        return {};
    // The device namespace reaches COM10 and beyond, which a bare name does not.
    return kDevicePrefix + std::string("COM") + std::to_string(number);
}

std::string DevicePathForPortArgument(const std::string& argument) {
    // A file's path names a device too (a ports folder's entry, Z:\dir\entry
    // under wine): the system opens it as it is.
    if (argument.find_first_of("\\/") != std::string::npos)
        return argument;
    return DevicePathForComName(argument);
}

} // namespace dedarida
