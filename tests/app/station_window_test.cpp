// The station's window with simulated units plugged in through a ports
// folder: what its tiles' model says of each unit, against what the
// simulated device holds in its flash, and its close while units run.
#include "app/qt/station/station_question.h"
#include "app/qt/station/station_window.h"
#include "fleet/station.h"
#include "tests/cli/headless_fixture.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

namespace dedarida {
namespace {

using namespace std::chrono_literals;
using test::QuickDevice;
namespace sim = dedarida::sim;

bool IsTheImage(const sim::SimDevice& device) {
    const auto firmware = EmbeddedFirmware();
    const auto flash = device.Flash();
    return std::equal(firmware.begin(), firmware.end(), flash.begin());
}

// A station run on a thread of its own behind the window, as the tool runs it.
class StationTiles : public test::PluggedPorts {
protected:
    StationTiles() : board_(Info()), window_(board_, stop_) {
        const auto firmware = EmbeddedFirmware();
        std::ofstream(dir_ + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(firmware.data()), firmware.size());
        settings_ = {{}, "line-3", {}, test::Sha256Sum(dir_ + "/fw.bin"), DEDARIDA_EXECUTABLE};
        settings_.options.station = true;
        settings_.options.retries = 1;
        settings_.options.logPath = dir_ + "/log";
        window_.show();
    }
    ~StationTiles() override {
        stop_.Stop();
        if (station_.joinable())
            station_.join();
        SetQuestionHandler({});
    }

    static StationInfo Info() { return {"line-3", "built-in image", std::string(64, '0'), "", ""}; }

    void Start() {
        station_ = std::thread([this] {
            tally_ = RunStation(settings_, board_, &stop_);
            QMetaObject::invokeMethod(
                &window_, [this] { window_.StationEnded(tally_.error); }, Qt::QueuedConnection);
        });
    }
    // Runs the window's events until `done` holds; false after `limit`.
    static bool Until(const std::function<bool()>& done, std::chrono::seconds limit = 40s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QTest::qWait(20);
        }
        return true;
    }
    // The model's row of the tile at `position`, or -1.
    int RowOf(const std::string& position) {
        StationModel& model = window_.Model();
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.index(row).data(StationModel::PositionRole).toString().toStdString() ==
                position)
                return row;
        return -1;
    }
    QVariant Role(const std::string& position, StationModel::Role role) {
        const int row = RowOf(position);
        return row < 0 ? QVariant() : window_.Model().index(row).data(role);
    }
    std::string Text(const std::string& position, StationModel::Role role) {
        return Role(position, role).toString().toStdString();
    }
    std::vector<nlohmann::json> Records() const {
        std::vector<nlohmann::json> records;
        std::istringstream log(Read("log"));
        for (std::string line; std::getline(log, line);)
            records.push_back(nlohmann::json::parse(line));
        return records;
    }

    UnitSettings settings_;
    StationBoard board_;
    StationStop stop_;
    StationWindow window_;
    // Fatal: a broken contract ends the test where it breaks.
    QAbstractItemModelTester tester_{&window_.Model(),
                                     QAbstractItemModelTester::FailureReportingMode::Fatal};
    StationTally tally_;
    std::thread station_;
};

TEST_F(StationTiles, FourUnitsShowTheVerdictsTheirDevicesBearOut) {
    // Destroyed, a simulated device is unplugged.
    auto passing = std::make_unique<sim::SimDevice>(QuickDevice(Adapter("PASS@1-1")));
    sim::SimConfig v2 = QuickDevice(Adapter("OLD@1-2"));
    v2.identity = "FW ID  v2.0";
    sim::SimDevice refused(v2);
    sim::SimConfig pulledConfig = QuickDevice(Adapter("PULL@1-3"));
    pulledConfig.faults.hangUpAtBlock = 40;
    pulledConfig.faults.comebackDelay = 1500ms;
    pulledConfig.faults.comebackInBootloader = true;
    sim::SimDevice pulled(pulledConfig);
    sim::SimConfig bootConfig = QuickDevice(Adapter("BOOT@1-4"));
    bootConfig.startMode = sim::DeviceMode::Bootloader;
    sim::SimDevice inBootloader(bootConfig);
    Start();
    for (sim::SimDevice* device : {passing.get(), &refused, &pulled, &inBootloader})
        device->Start();

    // The pulled one counts down its wait, then goes on.
    std::optional<int> countdown;
    const bool counted = Until([&] {
        const QVariant left = Role("usb-path:1-3", StationModel::CountdownRole);
        if (left.isValid())
            countdown = left.toInt();
        return countdown.has_value();
    });
    EXPECT_TRUE(counted);
    EXPECT_GE(countdown.value_or(0), 28);
    EXPECT_LE(countdown.value_or(99), 30);
    EXPECT_EQ(Text("usb-path:1-3", StationModel::PhaseRole), "waiting for it to come back");

    const std::vector<std::string> positions = {"usb-path:1-1", "usb-path:1-2", "usb-path:1-3",
                                                "usb-path:1-4"};
    ASSERT_TRUE(Until([&] {
        return std::all_of(positions.begin(), positions.end(), [&](const std::string& position) {
            return !Text(position, StationModel::VerdictRole).empty();
        });
    })) << Read("log");
    EXPECT_EQ(window_.Model().rowCount(), 4);

    EXPECT_EQ(Text("usb-path:1-1", StationModel::VerdictRole), "PASS");
    EXPECT_EQ(Text("usb-path:1-1", StationModel::IdentityRole), "FW ID  v4.1");
    EXPECT_EQ(Text("usb-path:1-1", StationModel::InstructionRole), "unplug it");
    EXPECT_TRUE(IsTheImage(*passing));

    EXPECT_EQ(Text("usb-path:1-2", StationModel::VerdictRole), "FAIL");
    EXPECT_EQ(Text("usb-path:1-2", StationModel::ReasonRole), "this device must not be upgraded");
    EXPECT_EQ(Text("usb-path:1-2", StationModel::IdentityRole), "FW ID  v2.0");
    EXPECT_FALSE(IsTheImage(refused));
    EXPECT_EQ(refused.Status().Requests(sim::RequestKind::Erase), 0u);

    EXPECT_EQ(Text("usb-path:1-3", StationModel::VerdictRole), "PASS");
    EXPECT_TRUE(IsTheImage(pulled));
    EXPECT_EQ(pulled.Status().Requests(sim::RequestKind::Erase), 2u);

    EXPECT_EQ(Text("usb-path:1-4", StationModel::VerdictRole), "PASS");
    EXPECT_TRUE(IsTheImage(inBootloader));
    EXPECT_EQ(inBootloader.Status().Requests(sim::RequestKind::Erase), 1u);

    // The pulled unit passed on its second attempt.
    window_.Refresh();
    const BoardHeader header = board_.Snapshot().header;
    EXPECT_EQ(header.passed, 3u);
    EXPECT_EQ(header.failed, 1u);
    EXPECT_DOUBLE_EQ(header.yieldPercent.value_or(0), 75.0);
    EXPECT_DOUBLE_EQ(header.firstPassYieldPercent.value_or(0), 50.0);
    // The header names the station and the firmware it was started with.
    QStringList labels;
    for (const QLabel* label : window_.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("Station line-3")) << labels.join(" | ").toStdString();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QString& label) {
        return label.startsWith("Firmware built-in image   SHA-256 0000");
    })) << labels.join(" | ").toStdString();

    passing.reset();
    EXPECT_TRUE(
        Until([&] { return Text("usb-path:1-1", StationModel::InstructionRole) == "waiting"; }));
    EXPECT_EQ(Text("usb-path:1-1", StationModel::VerdictRole), "");
    EXPECT_EQ(Role("usb-path:1-1", StationModel::UnitsRole).toInt(), 1);

    // Nothing runs: the window closes without a question.
    SetQuestionHandler([](const QString&) {
        ADD_FAILURE() << "asked";
        return true;
    });
    window_.close();
    EXPECT_TRUE(Until([&] { return window_.Ended(); }));
    station_.join();
    EXPECT_EQ(tally_.units, 4u);
    EXPECT_EQ(StationStatus(tally_), 1);
    EXPECT_EQ(Records().size(), 4u);
}

// The operator is asked once per close while a unit runs; No leaves it
// running, Yes stops it as Ctrl-C does and it ends with its record.
TEST_F(StationTiles, ClosingWhileAUnitRunsAsksThenStopsItWithItsRecord) {
    sim::SimConfig slow = QuickDevice(Adapter("SLOW@1-1"));
    slow.programTime = 100ms;
    sim::SimDevice unit(slow);
    Start();
    unit.Start();
    ASSERT_TRUE(Until([&] { return Role("usb-path:1-1", StationModel::PercentRole).toInt() > 2; }));

    std::vector<bool> answers = {false, true};
    std::size_t asked = 0;
    SetQuestionHandler([&](const QString&) { return answers.at(asked++); });
    window_.close();
    EXPECT_EQ(asked, 1u);
    const unsigned blocks = unit.Status().blocksStored;
    EXPECT_TRUE(unit.WaitFor([&](const sim::SimStatus& s) { return s.blocksStored > blocks; }, 5s))
        << "No leaves the unit running";
    EXPECT_FALSE(window_.Ended());
    window_.close();
    window_.close();
    EXPECT_EQ(asked, 2u);
    EXPECT_TRUE(Until([&] { return window_.Ended(); }));
    station_.join();
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(Text("usb-path:1-1", StationModel::VerdictRole), "INTERRUPTED");
    EXPECT_EQ(StationStatus(tally_), 130);
    EXPECT_LT(unit.Status().blocksStored, 86u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["result"], "interrupted");
    EXPECT_EQ(records[0]["usbSerial"], "SLOW");
}

// Ctrl-C or SIGTERM while the operator is being asked: the station ends,
// the question goes and the window closes with the station's status.
TEST_F(StationTiles, AStationThatEndsWhileTheOperatorIsAskedClosesTheWindow) {
    sim::SimConfig slow = QuickDevice(Adapter("SLOW@1-1"));
    slow.programTime = 100ms;
    sim::SimDevice unit(slow);
    Start();
    unit.Start();
    ASSERT_TRUE(Until([&] { return Role("usb-path:1-1", StationModel::PercentRole).toInt() > 2; }));

    QTimer::singleShot(200, [this] { stop_.Stop(); });
    bool stuck = false;
    QTimer::singleShot(10000, [&] {
        stuck = QApplication::activeModalWidget() != nullptr;
        if (stuck)
            QApplication::activeModalWidget()->close();
    });
    window_.close();
    EXPECT_FALSE(stuck) << "the question outlived the station";
    EXPECT_TRUE(Until([&] { return !window_.isVisible(); }, 5s));
    station_.join();
    EXPECT_TRUE(window_.Ended());
    EXPECT_EQ(StationStatus(tally_), 130);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["result"], "interrupted");
}

} // namespace
} // namespace dedarida
