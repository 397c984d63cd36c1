#include "fleet/pinned_image.h"
#include "fleet/station.h"
#include "fleet/station_slots.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace dedarida;

SerialPortInfo Adapter(const std::string& device, const std::string& serial,
                       const std::string& path) {
    SerialPortInfo port;
    port.device = device;
    port.usb.emplace();
    port.usb->vendorId = "0403";
    port.usb->productId = "6001";
    port.usb->serialNumber = serial;
    port.usb->portPath = path;
    return port;
}

std::vector<std::string> Devices(const std::vector<SerialPortInfo>& ports) {
    std::vector<std::string> devices;
    for (const auto& port : ports)
        devices.push_back(port.device);
    return devices;
}

using Devs = std::vector<std::string>;

TEST(StationSlots, AUnitHoldsItsDeviceAndItsPositionWhileItRuns) {
    StationSlots slots;
    const auto a = Adapter("/dev/ttyUSB0", "A", "1-1");
    const auto b = Adapter("/dev/ttyUSB1", "B", "1-2");
    EXPECT_EQ(Devices(slots.NewUnits({a, b})), (Devs{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    slots.Add(0, a);
    EXPECT_EQ(Devices(slots.NewUnits({a, b})), (Devs{"/dev/ttyUSB1"}));
    // Plugged back into the same fixture, the system may name it anew.
    EXPECT_EQ(Devices(slots.NewUnits({Adapter("/dev/ttyUSB5", "C", "1-1")})), Devs{});
    // Nothing it holds is freed while it runs.
    EXPECT_EQ(slots.FreeGone({}), std::vector<std::size_t>{});
}

TEST(StationSlots, OnlyARunningUnitWhosePortWentHoldsItsIdentityElsewhere) {
    StationSlots slots;
    slots.Add(0, Adapter("/dev/ttyUSB0", "A", "1-1"));
    const auto back = Adapter("/dev/ttyUSB4", "A", "2-1");
    const auto other = Adapter("/dev/ttyUSB5", "B", "2-2");
    EXPECT_EQ(Devices(slots.NewUnits({back, other})), (Devs{"/dev/ttyUSB5"}));
    // A clone sharing its serial elsewhere, while the unit itself is there.
    EXPECT_EQ(Devices(slots.NewUnits({Adapter("/dev/ttyUSB0", "A", "1-1"), back})),
              (Devs{"/dev/ttyUSB4"}));
    slots.Done(0);
    EXPECT_EQ(Devices(slots.NewUnits({back})), (Devs{"/dev/ttyUSB4"}));
}

TEST(StationSlots, AFinishedUnitIsFreedWhenItIsGoneOrAnotherTookItsDevice) {
    StationSlots slots;
    const auto a = Adapter("/dev/ttyUSB0", "A", "1-1");
    slots.Add(3, a);
    slots.Add(4, Adapter("/dev/ttyUSB1", "B", "1-2"));
    slots.Done(3);
    EXPECT_EQ(slots.FreeGone({a}), std::vector<std::size_t>{});
    // Pulled and another plugged in before the station looked.
    const auto next = Adapter("/dev/ttyUSB0", "N", "1-1");
    EXPECT_EQ(slots.FreeGone({next}), std::vector<std::size_t>{3});
    EXPECT_EQ(slots.Size(), 1u);
    EXPECT_EQ(Devices(slots.NewUnits({next})), (Devs{"/dev/ttyUSB0"}));
}

TEST(StationSlots, AUnitThatCameBackElsewhereIsFollowedThere) {
    StationSlots slots;
    slots.Add(0, Adapter("/dev/ttyUSB0", "A", "1-1"));
    const auto back = Adapter("/dev/ttyUSB4", "A", "2-1");
    slots.Moved(0, back);
    slots.Done(0);
    EXPECT_EQ(Devices(slots.NewUnits({back})), Devs{});
    EXPECT_EQ(slots.FreeGone({back}), std::vector<std::size_t>{});
    ASSERT_NE(slots.Find(0), nullptr);
    EXPECT_EQ(slots.Find(0)->unit.device, "/dev/ttyUSB4");
    EXPECT_EQ(slots.FreeGone({}), std::vector<std::size_t>{0});
    EXPECT_EQ(slots.Find(0), nullptr);
}

// Look-alikes share ids and serial number; the USB port and the interface
// tell them apart.
TEST(StationSlots, LookAlikesAreUnitsOfTheirOwn) {
    auto first = Adapter("/dev/ttyUSB0", "FT2", "1-2");
    auto second = Adapter("/dev/ttyUSB1", "FT2", "1-2");
    first.usb->interfaceNumber = "00";
    second.usb->interfaceNumber = "01";
    const auto clone = Adapter("/dev/ttyUSB2", "FT2", "1-3");
    StationSlots slots;
    slots.Add(0, first);
    EXPECT_EQ(Devices(slots.NewUnits({first, second, clone})),
              (Devs{"/dev/ttyUSB1", "/dev/ttyUSB2"}));
}

TEST(StationSlots, APositionIsTheUsbPortOrElseTheDevice) {
    EXPECT_EQ(PositionOf(Adapter("/dev/ttyUSB0", "A", "1-1.2")), "usb-path:1-1.2");
    auto tty = Adapter("/dev/ttyUSB0", "A", "1-1.2");
    tty.usb->interfaceNumber = "01";
    EXPECT_EQ(PositionOf(tty), "usb-path:1-1.2:01");
    EXPECT_EQ(PositionOf(Adapter("/dev/ttyUSB0", "A", "")), "/dev/ttyUSB0");
    SerialPortInfo plain;
    plain.device = "/dev/ttyS0";
    EXPECT_EQ(PositionOf(plain), "/dev/ttyS0");
}

} // namespace

namespace {

// What every unit of a run is sent: the bytes as they were, in a file that
// cannot be written, gone with the run.
TEST(PinnedImage, HoldsTheBytesReadOnlyAndGoesWithTheRun) {
    std::array<std::uint8_t, TxSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::filesystem::path file;
    {
        const PinnedImage pinned(bytes);
        file = pinned.Path();
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> read((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(read.size(), bytes.size());
        EXPECT_TRUE(
            std::equal(bytes.begin(), bytes.end(), read.begin(),
                       [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
        const auto perms = std::filesystem::status(file).permissions();
        EXPECT_EQ(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
    }
    EXPECT_FALSE(std::filesystem::exists(file.parent_path()));
}

// The station's exit status: 1 when a unit failed or it could not listen,
// else 130 when a unit was interrupted, else 0; a hook's failure is no
// unit's.
TEST(StationStatus, IsTheWorstOfItsUnitsOrOneWhenItCouldNotRun) {
    const auto status = [](unsigned failed, unsigned interrupted, const char* error) {
        StationTally tally;
        tally.units = 3;
        tally.failed = failed;
        tally.interrupted = interrupted;
        tally.hooks = tally.hookFailures = 2;
        tally.error = error;
        return StationStatus(tally);
    };
    EXPECT_EQ(status(0, 0, ""), 0);
    EXPECT_EQ(status(1, 0, ""), 1);
    EXPECT_EQ(status(1, 1, ""), 1);
    EXPECT_EQ(status(0, 1, ""), 130);
    EXPECT_EQ(status(0, 0, "no udev"), 1);
    EXPECT_EQ(status(0, 1, "no udev"), 1);
}

} // namespace
