#include "link/boot_command.h"
#include "tests/upgrade/upgrade_checks.h"

#include <gtest/gtest.h>

using namespace dedarida;
using namespace dedarida::test;
using sim::RequestKind;

TEST(Upgrade, OneStartProgramsTheEmbeddedFirmware) {
    UpgradeBench bench;
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Requests(RequestKind::Program), 86u);
    EXPECT_EQ(bench.Requests(RequestKind::Start), 1u);
    EXPECT_TRUE(HasPanelText(bench.Window(), 1, "Wait for CRC Check...."));
    EXPECT_TRUE(bench.Window().Errors().empty());
}

TEST(Upgrade, SingleByteRepliesWithNoiseBetweenThem) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.splitPiece = 1;
        c.faults.noiseBytes = 3;
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
}

TEST(Upgrade, AGoingOfflineNeverAnsweredSwitchesByItself) {
    UpgradeBench bench([](sim::SimConfig& c) { c.faults.silentGoOffline = true; });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Traced("go offline"), 3u);
}

TEST(Upgrade, VersionTwoAndUnknownDevicesAreRefused) {
    for (const auto& [identity, message, version] :
         {std::tuple{"FW ID  v2.3", "You can not update this device !", "v2.7"},
          std::tuple{"fw id  v7.0", "Unknown device !", "v4.5"}}) {
        SCOPED_TRACE(identity);
        const std::string text = identity;
        UpgradeBench bench([&](sim::SimConfig& c) { c.identity = text; }, false);
        bench.Tool().Button1Click();
        ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));
        EXPECT_EQ(bench.Window().Messages()[0].kind, MessageKind::Information);
        EXPECT_EQ(bench.Window().Messages()[0].text, message);
        EXPECT_EQ(bench.Tool().TargetVersion, version);
        bench.RunFor(100ms);
        EXPECT_EQ(bench.Requests(RequestKind::StartUpgrade), 0u);
        EXPECT_EQ(bench.Tool().LinkState().LinkMode(), AppMode);
        EXPECT_TRUE(StartNeverDisabled(bench.Window()));
    }
}

TEST(Upgrade, RejectedBlocksAreNotResentAndTheFinalCheckFails) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.verifyErrorBlocks = {3};
        c.faults.commandErrorBlocks = {5};
    });
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));
    EXPECT_TRUE(HasPanelText(bench.Window(), 1, "Verify error"));
    EXPECT_TRUE(HasPanelText(bench.Window(), 1, "Command 3 Error"));
    EXPECT_EQ(bench.Requests(RequestKind::Program), 86u);
    const auto message = bench.Window().Messages().at(0);
    EXPECT_EQ(message.kind, MessageKind::Error);
    EXPECT_EQ(message.text, "System Program Fail");
    EXPECT_EQ(bench.Window().Panel(1), "Program Fail");
    EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
}

TEST(Upgrade, AFailedCheckOrARefusedEraseLeavesTheBootloaderMode) {
    {
        UpgradeBench bench([](sim::SimConfig& c) { c.faults.failFinalCheck = true; });
        bench.Tool().Button1Click();
        ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));
        EXPECT_EQ(bench.Window().Messages()[0].text, "System Program Fail");
        EXPECT_EQ(bench.Window().Panel(1), "Program Fail");
        EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
        EXPECT_EQ(bench.Tool().ComPort1().BaudRate(), TBaudRate::br38400);
    }
    {
        UpgradeBench bench([](sim::SimConfig& c) { c.faults.refuseErase = true; });
        bench.Tool().Button1Click();
        ASSERT_TRUE(bench.RunUntil([&] { return bench.Window().Panel(1) == "Send Data Fail"; }));
        bench.RunFor(200ms);
        EXPECT_EQ(bench.Requests(RequestKind::Program), 0u);
        EXPECT_FALSE(bench.MessageShown());
        EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
        EXPECT_FALSE(bench.Window().StartEnabled());
    }
}

TEST(Upgrade, StartWithThePortUnavailableSendsNothingButLoadsTheImage) {
    UpgradeBench bench({}, false);
    bench.Tool().ComPort1().SetDevicePath("/dev/dedarida-no-such-port");
    bench.Tool().Button1Click();
    EXPECT_EQ(bench.Window().Panel(0), "COM: unable to open");
    EXPECT_FALSE(bench.Tool().ComPort1().Connected());
    const auto firmware = EmbeddedFirmware();
    EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), bench.Tool().FlashImage().begin()));
    EXPECT_EQ(bench.Device().Status().framesIn, 0u);
}

TEST(Upgrade, SendProgramInApplicationModeWritesEraseAt38400AndWaits) {
    UpgradeBench bench({}, false);
    bench.Tool().SendCode();
    EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
    EXPECT_EQ(bench.Tool().ComPort1().BaudRate(), TBaudRate::br38400);
    EXPECT_EQ(bench.Tool().LinkState().LastBootCommand, BootEraseFlash);
    EXPECT_EQ(bench.Window().Panel(2), "Erase Flash");
    ASSERT_TRUE(
        bench.Device().WaitFor([](const sim::SimStatus& s) { return s.garbageBytes > 0; }, 2s));
    bench.RunFor(200ms);
    EXPECT_EQ(bench.Device().Status().framesOut, 0u);
    EXPECT_EQ(bench.Tool().LinkState().LastBootCommand, BootEraseFlash);
}

TEST(Upgrade, HalfAReplyThenSilenceHangsNothing) {
    UpgradeBench bench(
        [](sim::SimConfig& c) {
            c.faults.halfReply = {{RequestKind::Identity, 1}};
        },
        false);
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Device().Status().silent; }, 5s));
    bench.RunFor(100ms);
    const auto start = MainLoop::Clock::now();
    bench.Tool().Button1Click();
    EXPECT_LT(MainLoop::Clock::now() - start, 2s);
    EXPECT_EQ(bench.Tool().LinkState().LastAppCommand, AppCommandIdentity);
    EXPECT_EQ(bench.Tool().LinkState().RxState(), 0);
}

TEST(Upgrade, AHangUpMidTransferIsShownAndALaterStartWorks) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.hangUpAtBlock = 10;
        c.faults.comebackDelay = 300ms;
    });
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return !bench.Window().Errors().empty(); }));
    EXPECT_FALSE(bench.MessageShown());
    ASSERT_TRUE(
        bench.Device().WaitFor([](const sim::SimStatus& s) { return s.ptyGeneration == 2; }, 5s));
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Tool().ComPort1().Connected(); }));
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
}

// After a lost line the link is in application mode; the device came back in
// its bootloader, so START's request goes unanswered: the window points to
// SendProgram, which programs it.
TEST(Upgrade, BackInItsBootloaderAfterAHangUpStartPointsToSendProgram) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.hangUpAtBlock = 10;
        c.faults.comebackDelay = 300ms;
        c.faults.comebackInBootloader = true;
    });
    bench.Tool().SetSilenceNotices(true);
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return !bench.Window().Errors().empty(); }));
    ASSERT_TRUE(
        bench.Device().WaitFor([](const sim::SimStatus& s) { return s.ptyGeneration == 2; }, 5s));
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Tool().ComPort1().Connected(); }));
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil(
        [&] { return bench.Window().Tooltip().find("F9") != std::string::npos; }, 5s));
    bench.Tool().SendCode();
    ExpectProgrammed(bench);
}

// SendProgram chosen after "READY TO UPGRADE", before the device went offline:
// the window says to press START, which upgrades it from its application.
TEST(Upgrade, SendProgramBeforeTheDeviceWentOfflineThenStartProgramsIt) {
    UpgradeBench bench;
    bench.Tool().SetSilenceNotices(true);
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Tool().OfflineRequestPending == 1; }));
    bench.Tool().SendCode();
    ASSERT_TRUE(bench.RunUntil(
        [&] { return bench.Window().Tooltip().find("START") != std::string::npos; }, 5s));
    EXPECT_EQ(bench.Device().Status().mode, sim::DeviceMode::Application);
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
}

TEST(TwoUpgrades, TheSecondStartProgramsAgainFromAFreshStart) {
    UpgradeBench bench;
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    const std::size_t firstRun = bench.Window().ProgressHistory().size();

    ASSERT_TRUE(bench.DeviceBack());
    bench.Tool().Button1Click();
    ExpectProgrammed(bench, 2);
    EXPECT_EQ(bench.Requests(RequestKind::Erase), 2u);
    EXPECT_EQ(bench.Requests(RequestKind::Program), 2 * 86u);
    const auto progress = bench.Window().ProgressHistory();
    ASSERT_GT(progress.size(), firstRun + 2);
    EXPECT_EQ(progress[firstRun], 0) << "START begins at 0";
    EXPECT_EQ(progress[firstRun + 2], 1) << "then the first block of the second upgrade";
}

// OfflineRetries is cleared by the forced switch, so the second upgrade sends
// the go-offline command three times again.
TEST(TwoUpgrades, EachForcedSwitchStartsTheRetriesAfresh) {
    UpgradeBench bench([](sim::SimConfig& c) { c.faults.silentGoOffline = true; });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Traced("go offline"), 3u);
    EXPECT_EQ(bench.Tool().OfflineRetries, 0);
    ASSERT_TRUE(bench.DeviceBack());
    bench.Tool().Button1Click();
    ExpectProgrammed(bench, 2);
    EXPECT_EQ(bench.Traced("go offline"), 6u);
}

TEST(TwoUpgrades, AVersionTwoRefusalThenAVersionFourDevice) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.replyTexts = {{{RequestKind::Identity, 1}, "FW ID  v2.3"}};
    });
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));
    EXPECT_EQ(bench.Window().Messages()[0].text, "You can not update this device !");
    EXPECT_EQ(bench.Tool().TargetVersion, "v2.7");

    bench.Tool().Button1Click();
    ExpectProgrammed(bench, 2);
    EXPECT_EQ(bench.Tool().TargetVersion, "v4.5");
}
