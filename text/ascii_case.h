#pragma once

#include <algorithm>
#include <string>

namespace dedarida {

// Case changes of the ASCII letters only, whatever the locale: in a Turkish
// one, std::toupper('i') is not 'I', and "fw id" would not read as "FW ID".
inline std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

inline std::string AsciiUpper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return text;
}

} // namespace dedarida
