#include "ports/port_selector.h"
#include "serial/com_names.h"

#include <gtest/gtest.h>

namespace {

using namespace dedarida;

SerialPortInfo Adapter(const char* device, const char* vid, const char* pid, const char* serial,
                       const char* path, const char* interface = "00") {
    SerialPortInfo port;
    port.device = device;
    port.usb = UsbAdapter{vid, pid, "maker", "product", serial, path, interface};
    return port;
}

SerialPortInfo Plain(const char* device) {
    SerialPortInfo port;
    port.device = device;
    return port;
}

const std::vector<SerialPortInfo> Ports = {
    Adapter("/dev/ttyUSB0", "0403", "6001", "A1", "1-1.2"),
    Adapter("/dev/ttyUSB1", "0403", "6001", "B2:7", "1-1.3"),
    Adapter("/dev/ttyACM0", "2341", "0043", "", "3-2"),
    Adapter("/dev/ttyACM1", "2341", "0044", "", "3-3"),
    Adapter("/dev/ttyACM2", "2341", "0044", "", "3-4"),
    Plain("/dev/ttyS0"),
};

std::string Resolve(const std::string& text) {
    std::string error;
    const auto selector = ParsePortSelector(text, error);
    EXPECT_TRUE(selector) << error;
    const std::string device = ResolvePortSelector(*selector, Ports, error);
    return device.empty() ? "error: " + error : device;
}

TEST(PortSelector, AUsbIdentityOrPortPathNamesOneAdapter) {
    EXPECT_EQ(Resolve("usb:0403:6001:A1"), "/dev/ttyUSB0");
    EXPECT_EQ(Resolve("usb:0403:6001:B2:7"), "/dev/ttyUSB1"); // a serial with a colon
    EXPECT_EQ(Resolve("usb:1234:5678"), "error: no adapter usb:1234:5678 is plugged in "
                                        "(--list-ports shows those that are)");
    EXPECT_EQ(Resolve("USB:2341:0043"), "/dev/ttyACM0");
    EXPECT_EQ(Resolve("usb:0403:6001"),
              "error: usb:0403:6001 matches 2 adapters: /dev/ttyUSB0 (serial A1) /dev/ttyUSB1 "
              "(serial B2:7); add its serial number (usb:VID:PID:SERIAL)");
    EXPECT_EQ(Resolve("usb-path:1-1.3"), "/dev/ttyUSB1");
    EXPECT_EQ(Resolve("usb:2341:0044"), "error: usb:2341:0044 matches 2 adapters: /dev/ttyACM1 "
                                        "/dev/ttyACM2; add its serial number (usb:VID:PID:SERIAL)");
    // Windows upper-cases the serial numbers it shows.
    EXPECT_EQ(Resolve("usb:0403:6001:a1"), "/dev/ttyUSB0");
    // A port path names one port, not the hub below it.
    EXPECT_EQ(Resolve("usb-path:1-1"), "error: no adapter usb-path:1-1 is plugged in "
                                       "(--list-ports shows those that are)");
    // A COM name or device path is taken as the other --port arguments are.
    EXPECT_EQ(Resolve("COM5"), DevicePathForPortArgument("COM5"));
}

TEST(PortSelector, MalformedSelectorsAreRefused) {
    std::string error;
    // "usb:0403:6001:" would take any adapter with these ids.
    for (const char* text :
         {"usb:0403", "usb:403:6001", "usb:04g3:6001", "usb-path:", "usb:0403:6001:"})
        EXPECT_FALSE(ParsePortSelector(text, error)) << text;
}

TEST(PortSelector, AUnitComingBackIsKnownByItsIdentityNotItsDevice) {
    const SerialPortInfo before = Adapter("/dev/ttyUSB0", "0403", "6001", "A1", "1-1.2");
    const SerialPortInfo plain = Adapter("/dev/ttyACM0", "2341", "0043", "", "3-2");
    const SerialPortInfo dual = Adapter("/dev/ttyUSB4", "0403", "6010", "FT1", "1-3", "00");
    struct Row {
        SerialPortInfo lost;
        SerialPortInfo back;
        bool same;
    };
    const Row rows[] = {
        {before, Adapter("/dev/ttyUSB3", "0403", "6001", "A1", "1-4"), true},
        {before, Adapter("/dev/ttyUSB0", "0403", "6001", "A2", "1-1.2"), false},
        {before, Adapter("/dev/ttyUSB3", "0403", "6001", "a1", "1-4"), true},
        // Without a serial number only the port it is plugged into tells.
        {plain, Adapter("/dev/ttyACM1", "2341", "0043", "", "3-2"), true},
        {plain, Adapter("/dev/ttyACM0", "2341", "0043", "", "3-3"), false},
        {before, Adapter("/dev/ttyUSB0", "0403", "6001", "", "1-1.2"), false},
        {Adapter("/dev/ttyUSB0", "0403", "6001", "", "1-1.2"), before, false},
        // The other port of one dual adapter is another unit.
        {dual, Adapter("/dev/ttyUSB5", "0403", "6010", "FT1", "1-3", "01"), false},
        {dual, Adapter("/dev/ttyUSB6", "0403", "6010", "FT1", "1-3", "00"), true},
        // A port with no USB details is known by its device alone.
        {Plain("/dev/ttyS0"), Plain("/dev/ttyS0"), true},
        {Plain("/dev/ttyS0"), Plain("/dev/ttyS1"), false},
        {Plain("/dev/ttyUSB0"), before, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SameUnit(row.lost, row.back), row.same)
            << row.lost.device << " " << row.back.device << " " << row.back.usb->serialNumber
            << " if" << row.back.usb->interfaceNumber;
}

} // namespace
