#include "serial/com_names.h"

#include <array>
#include <cctype>

namespace dedarida {

unsigned ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    unsigned number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return number;
}

std::string ListedComName(unsigned number) {
    return (number < 10 ? "COM0" : "COM") + std::to_string(number);
}

const std::string& ComName(std::uint8_t port) {
    static const std::array<std::string, 256> names = [] {
        std::array<std::string, 256> all;
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = "COM" + std::to_string(i + 1);
        return all;
    }();
    return names[port];
}

} // namespace dedarida
