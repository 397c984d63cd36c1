#include "ports/list_com_ports.h"
#include "ports/port_holders_posix.h"
#include "serial/com_names.h"
#include "tests/serial/pty_pair.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace dedarida;
using dedarida::test::PtyPair;

namespace {

class ComNames : public ::testing::Test {
protected:
    ~ComNames() override {
        for (const char* name :
             {"DEDARIDA_COM1", "DEDARIDA_COM3", "DEDARIDA_COM12", "DEDARIDA_COM20"})
            unsetenv(name);
    }
};

TEST_F(ComNames, FixedTableAndEnvironment) {
    EXPECT_EQ(DevicePathForComName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForComName("COM4"), "/dev/ttyS3");
    EXPECT_EQ(DevicePathForComName("COM5"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForComName("COM7"), "/dev/ttyUSB2");
    EXPECT_EQ(DevicePathForComName("COM8"), "/dev/ttyACM0");
    EXPECT_EQ(DevicePathForComName("COM9"), "/dev/ttyACM1");
    EXPECT_EQ(DevicePathForComName("COM10"), "");
    EXPECT_EQ(DevicePathForComName("CNCA0"), "");
    setenv("DEDARIDA_COM3", "/dev/pts/7", 1);
    EXPECT_EQ(DevicePathForComName("COM3"), "/dev/pts/7");
    EXPECT_EQ(DevicePathForPortArgument("COM3"), "/dev/pts/7");
    EXPECT_EQ(DevicePathForPortArgument("/dev/ttyUSB4"), "/dev/ttyUSB4");
}

TEST_F(ComNames, ListShowsPresentPortsPaddedAndSorted) {
    PtyPair one;
    PtyPair three;
    PtyPair twelve;
    setenv("DEDARIDA_COM12", twelve.SlavePath().c_str(), 1);
    setenv("DEDARIDA_COM3", three.SlavePath().c_str(), 1);
    setenv("DEDARIDA_COM1", one.SlavePath().c_str(), 1);
    setenv("DEDARIDA_COM20", "/dev/dedarida-absent", 1);
    std::vector<std::string> list{"stale"};
    ListComPorts(list);
    std::vector<std::string> ours;
    for (const std::string& item : list)
        if (item == "COM01" || item == "COM03" || item == "COM12" || item == "COM20" ||
            item == "stale")
            ours.push_back(item);
    EXPECT_EQ(ours, (std::vector<std::string>{"COM01", "COM03", "COM12"}));

    ListComPorts(list, true);
    EXPECT_NE(std::find(list.begin(), list.end(), "COM12 " + twelve.SlavePath()), list.end());
}

} // namespace

namespace {

// A listing for each device change tells who holds a port only when asked:
// telling reads every process's descriptors.
TEST_F(ComNames, WhoHoldsAPortIsToldOnlyWhenAsked) {
    PtyPair pty;
    setenv("DEDARIDA_COM12", pty.SlavePath().c_str(), 1);
    const int held = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const auto find = [&](PortHolding holding) {
        for (const SerialPortInfo& port : ListSystemSerialPorts(holding))
            if (port.device == pty.SlavePath())
                return port;
        ADD_FAILURE() << "no " << pty.SlavePath();
        return SerialPortInfo{};
    };
    const SerialPortInfo told = find(PortHolding::Told);
    const SerialPortInfo untold = find(PortHolding::Untold);
    close(held);
    // The lock is this process's own, so no other program holds it.
    EXPECT_EQ(told.inUse, false);
    EXPECT_EQ(untold.inUse, std::nullopt);
}

// A program's name is its own to choose, a line end too.
TEST(PortHoldersText, NamesEachProgramAsPrintableShowsIt) {
    EXPECT_EQ(dedarida::HoldersText({{7, "evil\nPASS"}, {12, "picocom"}}),
              "evil\\nPASS (PID 7), picocom (PID 12)");
}

} // namespace
