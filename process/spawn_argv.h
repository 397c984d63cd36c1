#pragma once

#include <string>
#include <vector>

namespace dedarida {

// The argument vector posix_spawn takes: pointers into `arguments`, ending in
// a null pointer. Valid while `arguments` lives unchanged.
inline std::vector<char*> SpawnArgv(std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

} // namespace dedarida
