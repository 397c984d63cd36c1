#pragma once

#include <string>

namespace dedarida {

// The core's texts are 8-bit strings, device replies included: each byte is
// the Latin-1 character of that code.
std::wstring FromCore(const std::string& text);
// The inverse of FromCore; characters beyond Latin-1 become '?'.
std::string ToCore(const std::wstring& text);
// Error texts of the runtime and the system, in the system's ANSI code page.
std::wstring FromSystem(const std::string& text);

} // namespace dedarida
