#pragma once

#include <string>
#include <vector>

namespace dedarida {

// The program's arguments, argv[0] first, as UTF-8 strings with an argv of
// their own. On Windows they come from the wide command line, so a name
// beyond the ANSI code page arrives whole; elsewhere they are argv as given.
class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    ProgramArguments(const ProgramArguments&) = delete;
    ProgramArguments& operator=(const ProgramArguments&) = delete;

    int Count() const { return static_cast<int>(texts_.size()); }
    // Null-terminated, like argv; valid while this object lives.
    char** Values() { return values_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> values_;
};

// The arguments as the system hands them over, in UTF-8; one file per system.
std::vector<std::string> SystemArguments(int argc, char** argv);

} // namespace dedarida
