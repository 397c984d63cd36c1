#include "text/printable_text.h"

#include <cstdio>

namespace dedarida {

namespace {

void Escape(std::string& shown, unsigned char byte) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    shown += escape;
}

} // namespace

std::string Quoted(std::string_view text) {
    std::string marked;
    for (const char c : text) {
        if (c == '"' || c == '\\')
            Escape(marked, static_cast<unsigned char>(c));
        else
            marked += c;
    }
    std::string quoted(1, '"');
    quoted += Printable(marked);
    quoted += '"';
    return quoted;
}

std::string WithoutControls(std::string_view line) {
    std::string shown;
    shown.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            Escape(shown, byte);
        else
            shown += c;
    }
    return shown;
}

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
        default:
            if (byte >= 0x20 && byte < 0x7F)
                shown += c;
            else
                Escape(shown, byte);
        }
    }
    return shown;
}

} // namespace dedarida
