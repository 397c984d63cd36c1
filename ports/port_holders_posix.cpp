#include "ports/port_holders_posix.h"

#include "text/printable_text.h"

#include <algorithm>
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

std::string CommandName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "?" : name;
}

} // namespace

PortHolders::PortHolders() {
    const std::string self = std::to_string(getpid());
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF", with "->" after the
    // number for a program still waiting for the lock.
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, advice, mode, pid, where;
        fields >> number >> kind;
        if (kind == "->")
            continue;
        fields >> advice >> mode >> pid >> where;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (pid != self && IsNumber(pid) &&
            std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) == 3)
            locks_.push_back({makedev(major, minor), static_cast<ino_t>(inode),
                              static_cast<pid_t>(std::stol(pid))});
    }

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
                opened_.push_back(
                    {file.st_rdev, {static_cast<pid_t>(std::stol(pid)), CommandName(pid)}});
        }
    }
}

bool PortHolders::LockedByAnotherProgram(const std::string& device) const {
    struct stat node {};
    if (stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return false;
    return std::any_of(locks_.begin(), locks_.end(), [&](const Lock& lock) {
        return lock.device == node.st_dev && lock.inode == node.st_ino;
    });
}

std::vector<PortHolder> PortHolders::HoldersOf(const std::string& device) const {
    std::vector<PortHolder> holders;
    struct stat node {};
    if (stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return holders;
    const auto add = [&](const PortHolder& holder) {
        if (std::find(holders.begin(), holders.end(), holder) == holders.end())
            holders.push_back(holder);
    };
    for (const Open& open : opened_)
        if (open.number == node.st_rdev)
            add(open.holder);
    for (const Lock& lock : locks_)
        if (lock.device == node.st_dev && lock.inode == node.st_ino)
            add({lock.pid, CommandName(std::to_string(lock.pid))});
    return holders;
}

std::string HoldersText(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& holder : holders)
        text.append(text.empty() ? "" : ", ")
            .append(Printable(holder.name))
            .append(" (PID " + std::to_string(holder.pid) + ")");
    return text;
}

} // namespace dedarida
