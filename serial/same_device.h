#pragma once

#include <string>

namespace dedarida {

// A name of the device `path` opens that every spelling of it shares, for
// telling whether two ports are one device. Linux: the character device's
// numbers where it exists (a link and a DEDARIDA_COMn path too), else the
// path made absolute and normal. Windows: the \\.\ name in upper case
// (\\.\COM5 for COM5 and \\.\com5), a file's with its full path. Empty for an
// empty path.
std::string DeviceKey(const std::string& path);

// Whether the device paths `a` and `b` (as DevicePathForPortArgument gives
// them) name one device.
inline bool SameDevice(const std::string& a, const std::string& b) {
    return DeviceKey(a) == DeviceKey(b);
}

} // namespace dedarida
