#include "serial/port_holders.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dedarida {

namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF",
// with "->" after the number for a program still waiting for the lock.
void AddLock(const std::string& line, const std::string& self,
             std::set<std::pair<dev_t, ino_t>>& locked) {
    std::istringstream fields(line);
    std::string number, kind, advice, mode, pid, where;
    fields >> number >> kind;
    if (kind == "->")
        return;
    fields >> advice >> mode >> pid >> where;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (pid == self || std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
        return;
    locked.insert({makedev(major, minor), static_cast<ino_t>(inode)});
}

} // namespace

PortHolders::PortHolders() {
    const std::string self = std::to_string(getpid());
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
        AddLock(line, self, locked_);

    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (!IsNumber(pid) || pid == self)
            continue;
        std::error_code unreadable;
        for (const auto& descriptor : fs::directory_iterator(process.path() / "fd", unreadable)) {
            char target[PATH_MAX];
            const ssize_t size = readlink(descriptor.path().c_str(), target, sizeof target);
            struct stat file {};
            if (size > 0 && std::string_view(target, size).starts_with("/dev/") &&
                stat(descriptor.path().c_str(), &file) == 0 && S_ISCHR(file.st_mode))
                opened_.insert(file.st_rdev);
        }
    }
}

bool PortHolders::HeldByAnotherProgram(const std::string& device) const {
    struct stat node {};
    if (stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return false;
    return opened_.count(node.st_rdev) > 0 || locked_.count({node.st_dev, node.st_ino}) > 0;
}

} // namespace dedarida
