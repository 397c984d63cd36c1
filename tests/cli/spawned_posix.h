#pragma once

#include <string>
#include <vector>

namespace dedarida::test {

struct Finished {
    int status = -1;        // the exit status, or -1 when a signal ended it
    bool signalled = false; // ended by a signal (an abort, a crash)
    std::string out;
    std::string err;
};

// Runs `argv` to its end with this process's environment minus every display
// variable, plus `extra` ("NAME=value"); its output is kept in files in `dir`.
Finished RunWithoutDisplay(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra, const std::string& dir);

} // namespace dedarida::test
