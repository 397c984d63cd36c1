#include "serial/com_names.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

TEST(Win32ComDevicePaths, NamesTheSystemsOwnDevice) {
    EXPECT_EQ(DevicePathForComName("COM5"), "\\\\.\\COM5");
    EXPECT_EQ(DevicePathForComName("com12"), "\\\\.\\COM12");
    EXPECT_EQ(DevicePathForComName("COM256"), "\\\\.\\COM256");
}

TEST(Win32ComDevicePaths, RefusesWhatIsNoComName) {
    EXPECT_EQ(DevicePathForComName("COM"), "");
    EXPECT_EQ(DevicePathForComName("COMx"), "");
    EXPECT_EQ(DevicePathForComName("LPT1"), "");
    EXPECT_EQ(DevicePathForComName("COM0"), "");
}

TEST(Win32ComDevicePaths, IgnoresTheLinuxMapping) {
    _putenv_s("DEDARIDA_COM5", "/dev/pts/7");
    EXPECT_EQ(DevicePathForComName("COM5"), "\\\\.\\COM5");
    _putenv_s("DEDARIDA_COM5", "");
}

// A ports folder's entries are files: Z:\dir\entry under wine, or relative.
TEST(Win32ComDevicePaths, TakesADevicePathOrAFilesPathAsItIs) {
    for (const char* path : {"\\\\.\\COM7", "\\\\.\\Z:\\ports\\0403_6001_A",
                             "Z:\\ports\\0403_6001_A", "ports\\0403_6001_A", "ports/0403_6001_A"})
        EXPECT_EQ(DevicePathForPortArgument(path), path);
    EXPECT_EQ(DevicePathForPortArgument("COM7"), "\\\\.\\COM7");
    EXPECT_EQ(DevicePathForPortArgument("0403_6001_A"), "");
}

} // namespace
} // namespace dedarida
