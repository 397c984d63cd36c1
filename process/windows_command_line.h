#pragma once

#include <string>
#include <vector>

namespace dedarida {

// The command line that a Windows program's C runtime (CommandLineToArgvW
// too) splits back into exactly `arguments`: each is quoted where it holds a
// blank, a quote or nothing, with the backslashes before a quote doubled.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

} // namespace dedarida
