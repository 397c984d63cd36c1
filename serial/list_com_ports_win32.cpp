#include "serial/com_names.h"
#include "serial/list_com_ports.h"
#include "serial/present_com_ports.h"

#include <algorithm>

namespace dedarida {

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<std::pair<unsigned, SerialPortInfo>> found;
    for (const ComPortDevice& present : PresentComPorts()) {
        const unsigned number = ComNumber(present.name);
        // A driver may list a name that is no COM name; no one can open it by one.
        if (number == 0)
            continue;
        SerialPortInfo port;
        port.comNames = {ListedComName(number)};
        port.device = DevicePathForComName(present.name);
        found.emplace_back(number, std::move(port));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SerialPortInfo> list;
    for (auto& [number, port] : found)
        list.push_back(std::move(port));
    return list;
}

} // namespace dedarida
