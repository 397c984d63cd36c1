#include "app/shared/environment.h"
#include "text/utf16.h"

#include <cstdlib>

namespace dedarida {

// The narrow environment went through the ANSI code page.
std::string EnvironmentValue(const char* name) {
    const wchar_t* value = _wgetenv(Utf16FromUtf8(name).c_str());
    return value == nullptr ? std::string() : Utf8FromUtf16(value);
}

} // namespace dedarida
