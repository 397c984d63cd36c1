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
    // Clones that all say "0001", beside one that says otherwise.
    Adapter("/dev/ttyUSB5", "1a86", "7523", "0001", "2-1"),
    Adapter("/dev/ttyUSB6", "1a86", "7523", "0001", "2-2"),
    Adapter("/dev/ttyUSB7", "1a86", "7523", "0002", "2-4"),
    // The two ttys of one dual adapter.
    Adapter("/dev/ttyUSB8", "0403", "6010", "FT2", "2-3", "00"),
    Adapter("/dev/ttyUSB9", "0403", "6010", "FT2", "2-3", "01"),
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
              "error: usb:0403:6001 matches 2 adapters: /dev/ttyUSB0 (serial A1, usb-path:1-1.2) "
              "/dev/ttyUSB1 (serial B2:7, usb-path:1-1.3); add its serial number "
              "(usb:VID:PID:SERIAL)");
    EXPECT_EQ(Resolve("usb-path:1-1.3"), "/dev/ttyUSB1");
    // Without serial numbers they look alike: no serial number helps.
    EXPECT_EQ(Resolve("usb:2341:0044"),
              "error: usb:2341:0044 matches 2 adapters: /dev/ttyACM1 (usb-path:3-3) /dev/ttyACM2 "
              "(usb-path:3-4); they look alike (the same USB ids and serial number): give the "
              "usb-path: of one");
    // Windows upper-cases the serial numbers it shows.
    EXPECT_EQ(Resolve("usb:0403:6001:a1"), "/dev/ttyUSB0");
    // A port path names one port, not the hub below it.
    EXPECT_EQ(Resolve("usb-path:1-1"), "error: no adapter usb-path:1-1 is plugged in "
                                       "(--list-ports shows those that are)");
    // A COM name or device path is taken as the other --port arguments are.
    EXPECT_EQ(Resolve("COM5"), DevicePathForPortArgument("COM5"));
}

TEST(PortSelector, LookAlikesAreNamedWithTheUsbPathThatTellsThemApart) {
    EXPECT_EQ(Resolve("usb:1a86:7523:0001"),
              "error: usb:1a86:7523:0001 matches 2 adapters: /dev/ttyUSB5 (serial 0001, "
              "usb-path:2-1) /dev/ttyUSB6 (serial 0001, usb-path:2-2); they look alike (the same "
              "USB ids and serial number): give the usb-path: of one");
    EXPECT_EQ(Resolve("usb:1a86:7523"),
              "error: usb:1a86:7523 matches 3 adapters: /dev/ttyUSB5 (serial 0001, usb-path:2-1) "
              "/dev/ttyUSB6 (serial 0001, usb-path:2-2) /dev/ttyUSB7 (serial 0002, usb-path:2-4); "
              "add its serial number (usb:VID:PID:SERIAL), or give the usb-path: of a look-alike");
    EXPECT_EQ(Resolve("usb-path:2-2"), "/dev/ttyUSB6");
    // The ttys of one adapter share its USB port: the interface tells them apart.
    EXPECT_EQ(Resolve("usb:0403:6010:FT2"),
              "error: usb:0403:6010:FT2 matches 2 adapters: /dev/ttyUSB8 (serial FT2, "
              "usb-path:2-3:00) /dev/ttyUSB9 (serial FT2, usb-path:2-3:01); they look alike (the "
              "same USB ids and serial number): give the usb-path: of one");
    EXPECT_EQ(Resolve("usb-path:2-3"),
              "error: usb-path:2-3 matches 2 adapters: /dev/ttyUSB8 (serial FT2, usb-path:2-3:00) "
              "/dev/ttyUSB9 (serial FT2, usb-path:2-3:01); add the interface (usb-path:PATH:IF)");
    EXPECT_EQ(Resolve("usb-path:2-3:01"), "/dev/ttyUSB9");
    EXPECT_EQ(Resolve("usb-path:2-3:1"), "/dev/ttyUSB9");
    EXPECT_EQ(Resolve("USB-PATH:2-3:0"), "/dev/ttyUSB8");
    EXPECT_EQ(Resolve("usb-path:2-3:02"), "error: no adapter usb-path:2-3:02 is plugged in "
                                          "(--list-ports shows those that are)");
}

TEST(PortSelector, LookAlikesShareIdsAndSerialNumberWhateverTheirInterface) {
    struct Row {
        std::size_t a, b;
        bool alike;
    };
    for (const Row& row : {Row{6, 7, true}, Row{6, 8, false}, Row{9, 10, true}, Row{3, 4, true},
                           Row{2, 3, false}, Row{0, 1, false}, Row{5, 5, false}, Row{6, 6, false}})
        EXPECT_EQ(LookAlike(Ports[row.a], Ports[row.b]), row.alike)
            << Ports[row.a].device << " " << Ports[row.b].device;
    EXPECT_EQ(PathSelectorOf(Ports[0], Ports), "usb-path:1-1.2");
    EXPECT_EQ(PathSelectorOf(Ports[10], Ports), "usb-path:2-3:01");
    EXPECT_EQ(PathSelectorOf(Ports[5], Ports), "");
}

TEST(PortSelector, MalformedSelectorsAreRefused) {
    std::string error;
    // "usb:0403:6001:" would take any adapter with these ids.
    for (const char* text : {"usb:0403", "usb:403:6001", "usb:04g3:6001",
                             "usb-path:", "usb:0403:6001:", "usb-path:1-2:", "usb-path::01",
                             "usb-path:1-2:123", "usb-path:1-2:0x"})
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
