#include "serial/driver/serial_driver_win32.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

TEST(Win32SerialDriver, TellsAGoneDeviceFromOtherFailures) {
    const Win32SerialDriver driver;
    // A pulled USB adapter, a hung-up line, a handle the system dropped.
    for (const int gone : {5, 6, 21, 22, 31, 55, 109, 433, 1167, 1617})
        EXPECT_TRUE(driver.IsLineLost(gone)) << gone;
    // Aborted, timed out, in progress, refused settings: the line is there.
    for (const int other : {0, 2, 50, 87, 121, 258, 995, 996, 997})
        EXPECT_FALSE(driver.IsLineLost(other)) << other;
}

} // namespace
} // namespace dedarida
