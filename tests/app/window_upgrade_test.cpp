// Whole upgrades through the window, on its real one-second Timer1: a refused
// device, then two upgrades in the same run.
#include "app/qt/main_window.h"
#include "app_test_support.h"
#include "sim/sim_device.h"
#include "tests/upgrade/quick_device.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace dedarida {
namespace {

using namespace std::chrono_literals;
using test::MessageRecorder;

sim::SimConfig Device(const std::string& linkPath) {
    sim::SimConfig config = test::QuickDevice(linkPath);
    config.replyTexts = {{{sim::RequestKind::Identity, 1}, "FW ID  v2.3"}};
    return config;
}

TEST(WindowUpgrade, ARefusalThenTwoUpgradesInOneRun) {
    std::string dir = (std::filesystem::temp_directory_path() / "dedarida-win-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string line = dir + "/line";
    sim::SimDevice device(Device(line));
    device.Start();
    ::setenv("DEDARIDA_COM2", line.c_str(), 1);
    MessageRecorder messages;
    {
        TForm1 window{test::MainQueue()};
        auto& start = *window.findChild<QPushButton*>("Button1");
        auto& progress = *window.findChild<QProgressBar*>("ProgressBar1");
        const auto panel = [&](int index) {
            return window.findChild<QStatusBar*>("StatusBar1")
                ->findChildren<QLabel*>()[index]
                ->text();
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel(0) == "COM: 2"; }, 5000));

        start.click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return messages.boxes.size() == 1; }, 5000));
        EXPECT_EQ(messages.boxes[0].text, "You can not update this device !");
        EXPECT_EQ(window.Controller().TargetVersion, "v2.7");

        for (std::size_t run = 2; run <= 3; ++run) {
            SCOPED_TRACE(run);
            ASSERT_TRUE(device.WaitFor(
                [](const sim::SimStatus& s) { return s.mode == sim::DeviceMode::Application; },
                5s));
            start.click();
            EXPECT_EQ(progress.value(), 0);
            ASSERT_TRUE(QTest::qWaitFor([&] { return messages.boxes.size() == run; }, 30000));
            EXPECT_EQ(messages.boxes.back().kind, MessageKind::Information);
            EXPECT_EQ(messages.boxes.back().text, "System Programmed OK  v4.5");
            EXPECT_TRUE(start.isEnabled());
            EXPECT_EQ(progress.value(), 0);
            EXPECT_EQ(panel(1), "Programmed OK");
            EXPECT_EQ(window.Controller().OfflineRetries, 0);
        }
        EXPECT_EQ(device.Status().Requests(sim::RequestKind::Program), 2 * 86u);
    }
    device.Stop();
    ::unsetenv("DEDARIDA_COM2");
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace dedarida
