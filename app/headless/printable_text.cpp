#include "app/headless/printable_text.h"

#include <cstdio>

namespace dedarida {

std::string Printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n':
            shown += "\\n";
            break;
        case '\r':
            shown += "\\r";
            break;
        case '\t':
            shown += "\\t";
            break;
        case '\\':
            shown += "\\\\";
            break;
        default:
            if (byte >= 0x20 && byte < 0x7F) {
                shown += c;
            } else {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                shown += escape;
            }
        }
    }
    return shown;
}

} // namespace dedarida
