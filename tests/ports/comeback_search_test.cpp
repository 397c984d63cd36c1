#include "ports/comeback_search.h"

#include <gtest/gtest.h>

namespace {

using namespace dedarida;

SerialPortInfo Clone(const std::string& device, const std::string& path,
                     const std::string& serial = "CLONE") {
    SerialPortInfo port;
    port.device = device;
    port.usb = UsbAdapter{"0403", "6001", "maker", "product", serial, path, "00"};
    return port;
}

using Names = std::vector<std::string>;

Names Devices(const std::vector<SerialPortInfo>& ports) {
    Names devices;
    for (const SerialPortInfo& port : ports)
        devices.push_back(port.device);
    return devices;
}

const SerialPortInfo Lost = Clone("/dev/ttyUSB0", "1-1");
const SerialPortInfo Passed = Clone("/dev/ttyUSB1", "1-2");

TEST(ComebackSearch, APortPresentAtTheLossIsAnotherUnitsUntilItGoes) {
    ComebackSearch search(Lost, {Lost, Passed});
    // Its own node still there for a moment: worth trying, not the clone.
    EXPECT_EQ(Devices(search.Look({Lost, Passed}).candidates), Names{"/dev/ttyUSB0"});
    EXPECT_EQ(Devices(search.Look({Passed}).candidates), Names{});
    // Unplugged and plugged in again after the loss, a clone is still not in
    // the unit's USB port: its serial number tells nothing.
    EXPECT_EQ(Devices(search.Look({}).candidates), Names{});
    EXPECT_EQ(Devices(search.Look({Passed}).candidates), Names{});
    EXPECT_EQ(Devices(search.Look({Passed, Clone("/dev/ttyUSB3", "1-1")}).candidates),
              Names{"/dev/ttyUSB3"});
}

// Its own device name may go to a clone plugged in elsewhere.
TEST(ComebackSearch, ALookAlikesUnitIsKnownByItsUsbPortAlone) {
    ComebackSearch search(Lost, {Lost, Passed});
    EXPECT_EQ(Devices(search.Look({Passed, Clone("/dev/ttyUSB0", "1-4")}).candidates), Names{});
    // A unit whose serial number no other port shares may come back elsewhere.
    ComebackSearch alone(Lost, {Lost});
    EXPECT_EQ(Devices(alone.Look({Clone("/dev/ttyUSB3", "1-4")}).candidates),
              Names{"/dev/ttyUSB3"});
    // Its own node listed a moment longer, beside another adapter, is no
    // look-alike of it.
    ComebackSearch lingering(Lost, {Lost});
    EXPECT_EQ(Devices(lingering.Look({Lost, Clone("/dev/ttyUSB5", "1-5", "OTHER")}).candidates),
              Names{"/dev/ttyUSB0"});
    EXPECT_EQ(Devices(lingering.Look({Clone("/dev/ttyUSB3", "1-4")}).candidates),
              Names{"/dev/ttyUSB3"});
    // Two seen at once: from then on the serial number tells nothing.
    ComebackSearch seen(Lost, {Lost});
    EXPECT_EQ(
        Devices(seen.Look({Clone("/dev/ttyUSB2", "1-3"), Clone("/dev/ttyUSB3", "1-4")}).ambiguous),
        (Names{"/dev/ttyUSB2", "/dev/ttyUSB3"}));
    EXPECT_EQ(Devices(seen.Look({Clone("/dev/ttyUSB3", "1-4")}).candidates), Names{});
}

TEST(ComebackSearch, ClonesAppearingTogetherAreRefusedUnlessOneSitsInTheUnitsPort) {
    ComebackSearch search(Lost, {Lost, Passed});
    const SerialPortInfo there = Clone("/dev/ttyUSB2", "1-3");
    const SerialPortInfo elsewhere = Clone("/dev/ttyUSB3", "1-4");
    const auto found = search.Look({Passed, there, elsewhere});
    EXPECT_EQ(Devices(found.candidates), Names{});
    EXPECT_EQ(Devices(found.ambiguous), (Names{"/dev/ttyUSB2", "/dev/ttyUSB3"}));
    const auto back = search.Look({Passed, Clone("/dev/ttyUSB2", "1-1"), elsewhere});
    EXPECT_EQ(Devices(back.candidates), Names{"/dev/ttyUSB2"});
    EXPECT_EQ(Devices(back.ambiguous), Names{});
}

TEST(ComebackSearch, APortOfAnotherIdentityIsNoComeback) {
    ComebackSearch search(Lost, {Lost});
    EXPECT_EQ(
        Devices(
            search.Look({Clone("/dev/ttyUSB0", "1-1", "OTHER"), Clone("/dev/ttyUSB4", "1-1", "")})
                .candidates),
        Names{});
}

} // namespace
