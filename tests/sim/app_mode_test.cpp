#include "sim/sim_device.h"
#include "tests/sim/scripted_host.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <thread>

namespace dedarida::sim::test {
namespace {

bool InMode(const SimDevice& device, DeviceMode mode) {
    return device.WaitFor([mode](const SimStatus& s) { return s.mode == mode; }, 2s);
}

TEST(SimApplicationMode, AnswersTheThreeCommandsWithTheirTexts) {
    SimDevice device(FastConfig());
    device.Start();
    ScriptedHost host(device.SlavePath());
    EXPECT_EQ(host.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    EXPECT_EQ(host.Exchange(StartUpgradeRequest, ReadyReply.size()), ReadyReply);
    EXPECT_EQ(host.Exchange(GoOfflineRequest, GoingOfflineReply.size()), GoingOfflineReply);
    EXPECT_TRUE(InMode(device, DeviceMode::Bootloader));
}

TEST(SimApplicationMode, IdentityTextIsSettable) {
    auto config = FastConfig();
    config.identity = "FW ID  v2.7";
    SimDevice device(config);
    device.Start();
    ScriptedHost host(device.SlavePath());
    const Bytes expected = {0x55, 0x3F, 0x30, 0x0E, 0x5D, 0x03, 'F', 'W', ' ',
                            'I',  'D',  ' ',  ' ',  'v',  '2',  '.', '7', 0xC9};
    EXPECT_EQ(host.Exchange(IdentityRequest, expected.size()), expected);
}

TEST(SimApplicationMode, RefusesAnIdentityLongerThanAReplyHolds) {
    auto config = FastConfig();
    config.identity = std::string(39, 'x');
    SimDevice device(config);
    EXPECT_THROW(device.Start(), std::length_error);
}

TEST(SimApplicationMode, IgnoresBadFramesAndFindsTheNextGoodOne) {
    SimDevice device(FastConfig());
    device.Start();
    ScriptedHost host(device.SlavePath());
    host.Send({0x55, 0x30, 0x3F, 0x02, 0x03, 0xC8}); // checksum off by one
    host.Send({0x55, 0x30, 0x3F, 0x03, 0x03, 0xCA}); // wrong length byte
    host.Send({0x55, 0x30, 0x3F, 0x02, 0x01, 0xC7}); // a code the device does not know
    host.Send({0x00, 0x55});                         // noise and a broken start
    EXPECT_EQ(host.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    EXPECT_EQ(host.Drain(), Bytes{});
    EXPECT_EQ(device.Status().framesOut, 1U);
}

TEST(SimApplicationMode, AFrameSplitIntoSinglesIsStillAFrame) {
    SimDevice device(FastConfig());
    device.Start();
    ScriptedHost host(device.SlavePath());
    for (const auto byte : IdentityRequest) {
        host.Send({byte});
        std::this_thread::sleep_for(2ms); // so the device reads each byte on its own
    }
    EXPECT_EQ(host.Read(IdentityReply.size()), IdentityReply);
}

TEST(SimApplicationMode, BytesAtTheWrongSpeedAreLineGarbage) {
    SimDevice device(FastConfig());
    device.Start();
    ScriptedHost host(device.SlavePath(), B38400);
    host.Send(IdentityRequest);
    EXPECT_TRUE(device.WaitFor([](const SimStatus& s) { return s.garbageBytes == 6; }, 2s));
    host.SetSpeed(B4800);
    EXPECT_EQ(host.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    EXPECT_EQ(device.Status().framesOut, 1U);
}

TEST(SimApplicationMode, DeafWhileRebootingThenBootloaderAfterTheDelay) {
    auto config = FastConfig();
    config.rebootDelay = 50ms;
    SimDevice device(config);
    device.Start();
    ScriptedHost host(device.SlavePath());
    EXPECT_EQ(host.Exchange(GoOfflineRequest, GoingOfflineReply.size()), GoingOfflineReply);
    host.SetSpeed(B38400);
    host.Send(PollRequest);
    EXPECT_TRUE(device.WaitFor([](const SimStatus& s) { return s.garbageBytes == 8; }, 2s));
    EXPECT_EQ(device.Status().mode, DeviceMode::Rebooting);
    EXPECT_TRUE(InMode(device, DeviceMode::Bootloader));
    EXPECT_EQ(host.Exchange(PollRequest, PollOk.size()), PollOk);
}

TEST(SimApplicationMode, TheToolCanReopenThePortItHadTakenExclusively) {
    SimDevice device(FastConfig());
    device.Start();
    {
        ScriptedHost first(device.SlavePath());
        ASSERT_EQ(::ioctl(first.Fd(), TIOCEXCL), 0);
        EXPECT_EQ(first.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    }
    // A pty keeps the exclusive flag while its master lives; a normal user's next open
    // would fail with EBUSY unless the device clears it when the port closes.
    ASSERT_TRUE(device.WaitFor([](const SimStatus& s) { return !s.toolPresent; }, 2s));
    ScriptedHost second(device.SlavePath());
    int exclusive = -1;
    ASSERT_EQ(::ioctl(second.Fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(second.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
}

} // namespace
} // namespace dedarida::sim::test
