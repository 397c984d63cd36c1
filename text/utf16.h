#pragma once

#include <string>
#include <string_view>

namespace dedarida {

// Names and arguments are UTF-8 inside the tool; the system's wide calls take
// UTF-16. A sequence that is not valid in its encoding becomes U+FFFD.
std::wstring Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::wstring_view text);

} // namespace dedarida
