#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace dedarida {

// Lower case for ASCII letters only: names, ids and extensions compared
// without regard to case, whatever the locale.
inline std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
    });
    return text;
}

} // namespace dedarida
