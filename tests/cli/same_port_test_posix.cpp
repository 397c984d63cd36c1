// Two --port texts for one device are refused, whichever way each names it:
// the COM table, a DEDARIDA_COMn variable, a link to the device.
#include "app/cli/headless_options.h"
#include "tests/serial/scoped_variable.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace dedarida {
namespace {

std::string Refusal(std::vector<std::string> ports) {
    std::vector<const char*> argv = {"dedarida", "--upgrade"};
    for (const std::string& port : ports)
        argv.insert(argv.end(), {"--port", port.c_str()});
    std::string error;
    ParseHeadlessOptions(static_cast<int>(argv.size()), argv.data(), error);
    return error;
}

TEST(SamePort, IsGivenTwiceWhateverItsName) {
    const std::filesystem::path link =
        std::filesystem::temp_directory_path() / ("dedarida-same-port-" + std::to_string(getpid()));
    std::filesystem::create_symlink("/dev/null", link);
    const test::ScopedVariable com3("DEDARIDA_COM3", "/dev/null");
    struct Row {
        std::vector<std::string> ports;
        std::string refusal;
    };
    const Row rows[] = {
        {{"COM5", "/dev/ttyUSB0"}, "--port /dev/ttyUSB0 is given twice (as COM5)"},
        {{"COM3", link.string()}, "--port " + link.string() + " is given twice (as COM3)"},
        {{"/dev/null", "COM6", "COM3"}, "--port COM3 is given twice (as /dev/null)"},
        {{"COM6", "COM6"}, "--port COM6 is given twice"},
        {{"COM3", "/dev/zero", "COM6"}, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Refusal(row.ports), row.refusal) << row.ports.back();
    std::filesystem::remove(link);
}

} // namespace
} // namespace dedarida
