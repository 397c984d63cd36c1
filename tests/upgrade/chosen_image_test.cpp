#include "tests/upgrade/upgrade_bench.h"

#include <gtest/gtest.h>
#include <vector>

using namespace dedarida;
using namespace dedarida::test;

namespace {

std::array<std::uint8_t, TxSize> ChosenImage() {
    std::array<std::uint8_t, TxSize> image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(0xA5 ^ (i >> 3));
    return image;
}

} // namespace

// Polls left unanswered, then a hang-up and a second START: every load the
// upgrade makes on its way takes the chosen image, never the built-in one.
TEST(ChosenImage, EveryLoadAndRetrySendsItAndTheMessageNamesItsVersion) {
    static const auto image = ChosenImage();
    UpgradeBench bench([](sim::SimConfig& c) {
        c.reference.assign(image.begin(), image.end());
        c.faults.ignoredPolls = 2;
        c.faults.hangUpAtBlock = 20;
        c.faults.comebackDelay = 300ms;
    });
    bench.Tool().SetFirmware(image, "v9.9-test");
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return !bench.Window().Errors().empty(); }));
    ASSERT_TRUE(
        bench.Device().WaitFor([](const sim::SimStatus& s) { return s.ptyGeneration == 2; }, 5s));
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Tool().ComPort1().Connected(); }));
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));

    EXPECT_EQ(bench.Window().Messages().at(0).text, "System Programmed OK  v9.9-test");
    const auto flash = bench.Device().Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(bench.Device().Status().checkPassed, true);
    EXPECT_GE(bench.Requests(sim::RequestKind::Poll), 3u);
}
