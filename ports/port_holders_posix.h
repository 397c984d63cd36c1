#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace dedarida {

// A program that has a device open.
struct PortHolder {
    pid_t pid = 0;
    std::string name; // its command name
    bool operator==(const PortHolder&) const = default;
};

// Which devices other programs hold now, from /proc: a file lock (this tool
// locks every port it opens, so another one cannot open it), and the open
// descriptors of the programs whose descriptors this user may see. Taken
// once, at construction.
class PortHolders {
public:
    PortHolders();

    // Locked by another program: this tool cannot open it.
    bool LockedByAnotherProgram(const std::string& device) const;
    // The other programs that have it open or locked, as far as they can be seen.
    std::vector<PortHolder> HoldersOf(const std::string& device) const;

private:
    struct Lock {
        dev_t device;
        ino_t inode;
        pid_t pid;
    };
    struct Open {
        dev_t number; // of the character device
        PortHolder holder;
    };
    std::vector<Lock> locks_;
    std::vector<Open> opened_;
};

// "picocom (PID 1234), minicom (PID 77)", each name as Printable shows it;
// empty for none.
std::string HoldersText(const std::vector<PortHolder>& holders);

} // namespace dedarida
