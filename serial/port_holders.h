#pragma once

#include <set>
#include <string>
#include <sys/types.h>
#include <utility>

namespace dedarida {

// Which devices other programs hold now, from /proc: a file lock any program
// took (this tool locks every port it opens), or an open descriptor of a
// program whose descriptors this user may see. Taken once, at construction.
class PortHolders {
public:
    PortHolders();

    bool HeldByAnotherProgram(const std::string& device) const;

private:
    std::set<std::pair<dev_t, ino_t>> locked_;
    std::set<dev_t> opened_; // character devices, by number
};

} // namespace dedarida
