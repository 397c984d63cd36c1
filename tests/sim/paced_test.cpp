#include "sim/sim_device.h"
#include "tests/sim/scripted_host.h"
#include "tests/sim/wire_timing.h"

#include <gtest/gtest.h>

namespace dedarida::sim::test {
namespace {

// Never faster than the wire. How close to it the pacing stays is for the
// long paced run and the benchmarks: a busy machine delays any one exchange.
TEST(SimPaced, AnExchangeTakesAtLeastItsWireTimeAtEachSpeed) {
    auto config = FastConfig();
    config.paced = true;
    SimDevice device(config);
    device.Start();
    ScriptedHost host(device.SlavePath());
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(host.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    const std::chrono::duration<double> app = std::chrono::steady_clock::now() - start;
    const auto appWire = WireTime(IdentityRequest.size() + IdentityReply.size(), 4800);
    EXPECT_GE(app, appWire);

    ASSERT_EQ(host.Exchange(GoOfflineRequest, GoingOfflineReply.size()), GoingOfflineReply);
    ASSERT_TRUE(
        device.WaitFor([](const SimStatus& s) { return s.mode == DeviceMode::Bootloader; }, 2s));
    host.SetSpeed(B38400);
    start = std::chrono::steady_clock::now();
    ASSERT_EQ(host.Exchange(PollRequest, PollOk.size()), PollOk);
    const std::chrono::duration<double> boot = std::chrono::steady_clock::now() - start;
    const auto bootWire = WireTime(PollRequest.size() + PollOk.size(), 38400);
    EXPECT_GE(boot, bootWire);
}

} // namespace
} // namespace dedarida::sim::test
