#include "ports/list_com_ports.h"
#include "serial/com_names.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

// Wine maps its ports only in the registry, where SetupAPI does not see them.
TEST(Win32PortList, RegistrysPortsByNumber) {
    const auto ports = ListSystemSerialPorts();
    unsigned previous = 0;
    for (const SerialPortInfo& port : ports) {
        ASSERT_EQ(port.comNames.size(), 1u);
        const unsigned number = ComNumber(port.comNames[0]);
        EXPECT_GT(number, previous);
        EXPECT_EQ(port.device, "\\\\.\\COM" + std::to_string(number));
        previous = number;
    }
}

} // namespace
} // namespace dedarida
