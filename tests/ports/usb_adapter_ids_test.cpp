#include "ports/usb_adapter_ids.h"

#include <gtest/gtest.h>
#include <map>

namespace dedarida {
namespace {

// A device tree as Device Manager shows it, child to parent.
using Tree = std::map<std::string, std::string>;

UsbNodesOfPort NodesIn(const Tree& tree, const std::string& port) {
    return UsbDeviceOfPort(port, [&tree](const std::string& node) {
        const auto parent = tree.find(node);
        return parent == tree.end() ? std::string() : parent->second;
    });
}

std::string UsbDeviceIn(const Tree& tree, const std::string& port) {
    return NodesIn(tree, port).deviceInstanceId;
}

TEST(UsbDeviceOfPort, PortIsTheUsbDevice) {
    EXPECT_EQ(UsbDeviceIn({}, "USB\\VID_10C4&PID_EA60\\0001"), "USB\\VID_10C4&PID_EA60\\0001");
}

TEST(UsbDeviceOfPort, ThroughAVendorsBusNode) {
    const Tree tree{
        {"FTDIBUS\\VID_0403+PID_6001+A1B2C3DA\\0000", "USB\\VID_0403&PID_6001\\A1B2C3D"},
        {"USB\\VID_0403&PID_6001\\A1B2C3D", "USB\\ROOT_HUB30\\4&1C2D&0&0"}};
    EXPECT_EQ(UsbDeviceIn(tree, "FTDIBUS\\VID_0403+PID_6001+A1B2C3DA\\0000"),
              "USB\\VID_0403&PID_6001\\A1B2C3D");
}

TEST(UsbDeviceOfPort, ThroughTheInterfaceOfACompositeDevice) {
    const Tree tree{{"USB\\VID_2341&PID_8036&MI_00\\6&2B3A4C5D&0&0000",
                     "USB\\VID_2341&PID_8036\\5&1F2E3D4C&0&2"}};
    const UsbNodesOfPort nodes = NodesIn(tree, "USB\\VID_2341&PID_8036&MI_00\\6&2B3A4C5D&0&0000");
    EXPECT_EQ(nodes.deviceInstanceId, "USB\\VID_2341&PID_8036\\5&1F2E3D4C&0&2");
    EXPECT_EQ(nodes.interfaceInstanceId, "USB\\VID_2341&PID_8036&MI_00\\6&2B3A4C5D&0&0000");
}

TEST(UsbDeviceOfPort, ThroughABusNodeAndAnInterface) {
    const Tree tree{
        {"FTDIBUS\\VID_0403+PID_6010+FT1234B\\0000", "USB\\VID_0403&PID_6010&MI_01\\7&99&0&0001"},
        {"USB\\VID_0403&PID_6010&MI_01\\7&99&0&0001", "USB\\VID_0403&PID_6010\\FT1234"}};
    const UsbNodesOfPort nodes = NodesIn(tree, "FTDIBUS\\VID_0403+PID_6010+FT1234B\\0000");
    EXPECT_EQ(nodes.deviceInstanceId, "USB\\VID_0403&PID_6010\\FT1234");
    EXPECT_EQ(nodes.interfaceInstanceId, "USB\\VID_0403&PID_6010&MI_01\\7&99&0&0001");
}

TEST(UsbDeviceOfPort, BluetoothPortOnAUsbRadioIsNone) {
    const std::string port =
        "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A3B&0&0011_C00000000";
    const Tree tree{{port, "BTH\\MS_BTHBRB\\6&1A&0&1"},
                    {"BTH\\MS_BTHBRB\\6&1A&0&1", "USB\\VID_8087&PID_0A2B\\5&2C&0&7"}};
    EXPECT_EQ(UsbDeviceIn(tree, port), "");
}

TEST(UsbDeviceOfPort, MotherboardPortIsNone) {
    EXPECT_EQ(UsbDeviceIn({{"ACPI\\PNP0501\\0", "ACPI\\PNP0A08\\0"}}, "ACPI\\PNP0501\\0"), "");
    EXPECT_EQ(UsbDeviceIn({}, "ROOT\\PORTS\\0000"), "");
}

TEST(UsbDeviceOfPort, HubIsNoInterface) {
    const Tree tree{{"FTDIBUS\\X\\0000", "USB\\ROOT_HUB30\\4&1C2D&0&0"},
                    {"USB\\ROOT_HUB30\\4&1C2D&0&0", "USB\\VID_8086&PID_A36D\\3&11&0&A0"}};
    EXPECT_EQ(UsbDeviceIn(tree, "FTDIBUS\\X\\0000"), "");
}

TEST(UsbDeviceOfPort, EndlessChainOfInterfacesEnds) {
    const std::string node = "USB\\VID_0403&PID_6010&MI_00\\7&1&0&0000";
    EXPECT_EQ(UsbDeviceIn({{node, node}}, node), "");
}

UsbPortStrings Ftdi() {
    return {"USB\\VID_0403&PID_6001&REV_0600",
            "USB\\VID_0403&PID_6001\\A1B2C3D",
            "FTDI",
            "FT232R USB UART",
            "USB Serial Port (COM5)",
            "Port_#0002.Hub_#0001",
            ""};
}

TEST(UsbAdapterFrom, TakesEveryField) {
    const auto usb = UsbAdapterFrom(Ftdi());
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->vendorId, "0403");
    EXPECT_EQ(usb->productId, "6001");
    EXPECT_EQ(usb->manufacturer, "FTDI");
    EXPECT_EQ(usb->product, "FT232R USB UART");
    EXPECT_EQ(usb->serialNumber, "A1B2C3D");
    EXPECT_EQ(usb->portPath, "Port_#0002.Hub_#0001");
    EXPECT_EQ(usb->interfaceNumber, "");
}

// The two ports of a dual adapter share ids, serial number and location.
TEST(UsbAdapterFrom, InterfaceNumberFromTheInterfacesId) {
    UsbPortStrings strings = Ftdi();
    for (const auto& [id, number] :
         std::map<std::string, std::string>{{"USB\\VID_0403&PID_6010&MI_01\\7&99&0&0001", "01"},
                                            {"usb\\vid_10c4&pid_ea70&mi_0a\\6&1&0&0000", "0a"},
                                            {"USB\\VID_0403&PID_6010\\MI_01", ""},
                                            {"USB\\VID_0403&PID_6010&MI_1\\7&99&0&0001", ""}}) {
        strings.interfaceInstanceId = id;
        EXPECT_EQ(UsbAdapterFrom(strings)->interfaceNumber, number) << id;
    }
}

TEST(UsbAdapterFrom, IdsInLowerCase) {
    UsbPortStrings strings = Ftdi();
    strings.deviceHardwareId = "USB\\VID_10C4&PID_EA60&REV_0100";
    const auto usb = UsbAdapterFrom(strings);
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->vendorId, "10c4");
    EXPECT_EQ(usb->productId, "ea60");
    strings.deviceHardwareId = "usb\\vid_10c4&pid_ea60";
    EXPECT_EQ(UsbAdapterFrom(strings)->vendorId, "10c4");
}

TEST(UsbAdapterFrom, SerialNumberTheSystemMadeUpIsNone) {
    UsbPortStrings strings = Ftdi();
    strings.deviceInstanceId = "USB\\VID_2341&PID_8036\\5&1F2E3D4C&0&2";
    EXPECT_EQ(UsbAdapterFrom(strings)->serialNumber, "");
    strings.deviceInstanceId = "";
    EXPECT_EQ(UsbAdapterFrom(strings)->serialNumber, "");
}

TEST(UsbAdapterFrom, ProductFromTheFriendlyNameWithoutItsComName) {
    UsbPortStrings strings = Ftdi();
    strings.busDescription = "";
    strings.friendlyName = "USB-SERIAL CH340 (COM12)";
    EXPECT_EQ(UsbAdapterFrom(strings)->product, "USB-SERIAL CH340");
    for (const char* kept : {"Adapter (rev 2)", "Printer (LPT1)", "Adapter (COM)", "Adapter", ""}) {
        strings.friendlyName = kept;
        EXPECT_EQ(UsbAdapterFrom(strings)->product, kept);
    }
}

TEST(UsbAdapterFrom, NoAdapterWithoutBothIds) {
    UsbPortStrings strings = Ftdi();
    for (const char* id :
         {"", "USB\\ROOT_HUB30", "USB\\VID_0403", "USB\\PID_6001", "USB\\VID_04G3&PID_6001",
          "USB\\VID_0403&PID_60011", "USB\\VID_040&PID_6001", "USB\\XVID_0403&PID_6001",
          "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&0001005D_PID&2002"}) {
        strings.deviceHardwareId = id;
        EXPECT_FALSE(UsbAdapterFrom(strings)) << id;
    }
}

TEST(UsbAdapterFrom, IdsOfAVendorsBus) {
    UsbPortStrings strings = Ftdi();
    strings.deviceHardwareId = "FTDIBUS\\COMPORT&VID_0403&PID_6015";
    const auto usb = UsbAdapterFrom(strings);
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->productId, "6015");
}

} // namespace
} // namespace dedarida
