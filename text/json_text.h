#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace dedarida {

using Json = nlohmann::ordered_json;

// Fields stay in the order they were set; bytes that are not UTF-8 (a
// device's strings may hold any) become U+FFFD instead of failing the dump.
inline std::string JsonText(const Json& value, int indent = -1) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// Whether `text` is UTF-8 as JsonText writes it unchanged.
inline bool IsUtf8(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

} // namespace dedarida
