// The program run for each unit once its record is written: what it gets,
// and that neither how it ends nor how long it takes touches the units.
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
using dedarida::test::StartTool;
using dedarida::test::WaitForTool;
namespace sim = dedarida::sim;

class OnUnit : public dedarida::test::PluggedPorts {
protected:
    // An executable shell script in the test's folder.
    std::string Hook(const std::string& name, const std::string& script) const {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
    sim::SimDevice& Plug(const std::string& entry) {
        devices_.push_back(std::make_unique<sim::SimDevice>(QuickDevice(entry)));
        devices_.back()->Start();
        return *devices_.back();
    }
    int Tool(const std::vector<std::string>& arguments) {
        return WaitForTool(StartTool(arguments, dir_ + "/out", dir_ + "/err"));
    }
    std::vector<nlohmann::json> Records() const {
        std::vector<nlohmann::json> records;
        std::istringstream log(Read("log"));
        for (std::string line; std::getline(log, line);)
            records.push_back(nlohmann::json::parse(line));
        return records;
    }
    bool WaitFor(const std::function<bool()>& holds, std::chrono::seconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!holds() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        return holds();
    }
    static bool Programmed(const sim::SimDevice& device) {
        const auto firmware = dedarida::EmbeddedFirmware();
        const auto flash = device.Flash();
        return std::equal(firmware.begin(), firmware.end(), flash.begin()) &&
               device.Status().checkPassed == true;
    }
    // Whether process `pid` still runs (a zombie does not).
    static bool Runs(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        return close != std::string::npos && text.size() > close + 2 && text[close + 2] != 'Z';
    }
    pid_t Pid(const std::string& name) const { return std::atoi(Read(name).c_str()); }

    std::vector<std::unique_ptr<sim::SimDevice>> devices_;
};

// Shell syntax in the adapter's serial number, the device's identity and
// the program's own name: started through a shell, any would run "touch".
TEST_F(OnUnit, TheProgramGetsTheRecordAndItsVariablesAndNoTextBecomesACommand) {
    const std::string serial = "$(touch pwned);touch pwned`touch pwned`";
    config_ = QuickDevice(Adapter(serial));
    config_.identity = "FW ID  v4.1 $(touch pwned)";
    const std::string hook =
        Hook("on unit; touch pwned", "cat > " + dir_ + "/unit.stdin\nprintf '%s\\n' \"$PORT\" " +
                                         "\"$RESULT\" \"$EXIT_STATUS\" \"$USB_SERIAL\" > " + dir_ +
                                         "/unit.env");
    std::filesystem::remove("pwned");
    ASSERT_EQ(
        Run({"--upgrade", "--port", "usb:0403:6001", "--log", dir_ + "/log", "--on-unit", hook}), 0)
        << Read("err");
    ASSERT_EQ(Records().size(), 1u);
    const nlohmann::json record = Records().front();
    EXPECT_EQ(nlohmann::json::parse(Read("unit.stdin")), record);
    EXPECT_EQ(record["usbSerial"], serial);
    std::ostringstream variables;
    variables << record["port"].get<std::string>() << "\n"
              << record["result"].get<std::string>() << "\n"
              << record["exitStatus"].get<int>() << "\n"
              << serial << "\n";
    EXPECT_EQ(Read("unit.env"), variables.str());
    EXPECT_NE(Read("out").find("hook: exit 0\n"), std::string::npos) << Read("out");
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/pwned"));
}

TEST_F(OnUnit, AProgramThatCannotBeStartedIsRefusedBeforeAnyPortIsTouched) {
    std::ofstream(dir_ + "/plain") << "#!/bin/sh\n";
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {dir_ + "/missing", "No such file or directory"},
             {dir_, "is no regular file"},
             {dir_ + "/plain", "is not executable"}}) {
        EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--on-unit", path}), 64) << path;
        EXPECT_NE(Read("err").find("refused: --on-unit " + path + ": " + reason + "\n"),
                  std::string::npos)
            << Read("err");
        EXPECT_EQ(frames_, 0u);
    }
}

// Ports whose upgrades end otherwise than their hooks: the exit status is
// the units' own.
TEST_F(OnUnit, AFailingProgramShowsItsStatusAndChangesNoVerdict) {
    sim::SimDevice& first = Plug(Adapter("P1"));
    sim::SimDevice& second = Plug(Adapter("P2"));
    const std::string hook = Hook("fail.sh", "cat > /dev/null\nexit 3");
    EXPECT_EQ(
        Tool({"--upgrade", "--port", Adapter("P1"), "--port", Adapter("P2"), "--on-unit", hook}), 0)
        << Read("err");
    EXPECT_TRUE(Programmed(first));
    EXPECT_TRUE(Programmed(second));
    const std::string out = Read("out");
    for (const std::string& line :
         {Adapter("P1") + ": hook failed (exit 3)\n", Adapter("P2") + ": hook failed (exit 3)\n",
          std::string("2 hooks run, 2 failed\n")})
        EXPECT_NE(out.find(line), std::string::npos) << out;
}

// The program and what it started are killed at its time; the unit's result
// stands.
TEST_F(OnUnit, AProgramThatHangsIsKilledWithWhatItStartedAtItsTime) {
    const std::string hook = Hook("hang.sh", "sleep 600 &\necho $! > " + dir_ +
                                                 "/sleeper\necho $$ > " + dir_ + "/hook\nwait");
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--on-unit", hook, "--on-unit-timeout", "1"}), 0)
        << Read("err");
    EXPECT_NE(Read("out").find("hook failed (killed after 1 s)\n"), std::string::npos)
        << Read("out");
    EXPECT_TRUE(WaitFor([&] { return !Runs(Pid("sleeper")) && !Runs(Pid("hook")); }, 5s));
}

// The first unit's program hangs while the second is upgraded; Ctrl-C ends it
// with the station.
TEST_F(OnUnit, AStationsHangingProgramHoldsNoUnitBack) {
    const std::string hook =
        Hook("station.sh", "if [ \"$USB_SERIAL\" = U1 ]; then echo $$ > " + dir_ +
                               "/hang; exec sleep 600; fi\ncat > " + dir_ + "/U2.stdin");
    const pid_t station = StartTool(
        {"--station", "--log", dir_ + "/log", "--station-name", "line-3", "--on-unit", hook},
        dir_ + "/out", dir_ + "/err");
    Plug(Adapter("U1"));
    ASSERT_TRUE(WaitFor([&] { return Pid("hang") > 0; }, 30s)) << Read("out");
    sim::SimDevice& second = Plug(Adapter("U2"));
    ASSERT_TRUE(WaitFor([&] { return !Read("U2.stdin").empty(); }, 30s)) << Read("out");
    EXPECT_TRUE(Programmed(second));
    EXPECT_TRUE(Runs(Pid("hang")));
    EXPECT_EQ(nlohmann::json::parse(Read("U2.stdin")), Records().back());
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0) << Read("out");
    EXPECT_FALSE(Runs(Pid("hang")));
    const std::string out = Read("out");
    for (const std::string& line :
         {Adapter("U1") + ": hook of unit 1 failed (ended by signal 2)\n",
          Adapter("U2") + ": hook of unit 2: exit 0\n",
          std::string("station line-3: 2 units, 2 passed, 0 failed, 0 interrupted, yield 100.0%; "
                      "2 hooks run, 1 failed\n")})
        EXPECT_NE(out.find(line), std::string::npos) << out;
}

} // namespace
