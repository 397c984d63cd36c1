#include "ports/list_com_ports.h"

#include "text/ascii_case.h"

#include <algorithm>

namespace dedarida {

void ListComPorts(std::vector<std::string>& list, bool withPath) {
    std::vector<std::string> found;
    for (const SerialPortInfo& port : ListSerialPorts())
        for (const std::string& name : port.comNames)
            found.push_back(withPath ? name + " " + port.device : name);
    std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return AsciiLower(a) < AsciiLower(b);
    });
    list = std::move(found);
}

} // namespace dedarida
