// Two --port texts for one device are refused, whichever way each names it.
#include "app/cli/headless_options.h"

#include <gtest/gtest.h>
#include <string>
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
    struct Row {
        std::vector<std::string> ports;
        std::string refusal;
    };
    const Row rows[] = {
        {{"COM5", "\\\\.\\COM5"}, "--port \\\\.\\COM5 is given twice (as COM5)"},
        {{"\\\\.\\com12", "COM12"}, "--port COM12 is given twice (as \\\\.\\com12)"},
        {{"C:\\ports\\unit", "c:/ports/UNIT"},
         "--port c:/ports/UNIT is given twice (as C:\\ports\\unit)"},
        {{"COM5", "\\\\.\\COM6", "COM7"}, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Refusal(row.ports), row.refusal) << row.ports.back();
}

} // namespace
} // namespace dedarida
