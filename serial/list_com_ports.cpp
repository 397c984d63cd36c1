#include "serial/list_com_ports.h"

#include "serial/present_com_ports.h"

#include <algorithm>
#include <cctype>

namespace dedarida {

namespace {

std::string Lowered(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

} // namespace

void ListComPorts(std::vector<std::string>& list, bool withPath) {
    std::vector<std::string> found;
    for (const auto& [name, path] : PresentComPorts()) {
        const std::string shown =
            name.size() == 4 ? name.substr(0, 3) + "0" + name.substr(3) : name;
        found.push_back(withPath ? shown + " " + path : shown);
    }
    std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return Lowered(a) < Lowered(b);
    });
    list = std::move(found);
}

} // namespace dedarida
