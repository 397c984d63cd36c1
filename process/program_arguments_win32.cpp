#include "process/program_arguments.h"
#include "text/utf16.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace dedarida {

// The C runtime's argv went through the ANSI code page, which loses every
// character it lacks; the wide command line keeps them.
std::vector<std::string> SystemArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8FromUtf16(wide[i]));
    LocalFree(wide);
    return arguments;
}

} // namespace dedarida
