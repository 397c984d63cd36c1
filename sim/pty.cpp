#include "sim/pty.h"

#include "sim/line_speed.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <string_view>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace dedarida::sim {

namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void PointLink(const std::string& linkPath, const std::string& target) {
    // rename() replaces a stale link atomically, so a tool never sees the path
    // missing. The temporary name is hidden: in a folder that stands for the
    // system's ports it is no port.
    const std::filesystem::path link(linkPath);
    std::string hidden = ".";
    hidden.append(link.filename().string()).append(".new");
    const std::string temporary = (link.parent_path() / hidden).string();
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        ThrowErrno("symlink");
    }
    if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        ThrowErrno("rename");
    }
}

} // namespace

Pty::Pty(const std::string& linkPath) {
    termios settings{};
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&settings, B9600);
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    if (::openpty(&master, &slave, name, &settings, nullptr) != 0) {
        ThrowErrno("openpty");
    }
    master_ = UniqueFd(master);
    slaveHolder_ = UniqueFd(slave);
    slavePath_ = name;
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(slave, F_SETFD, FD_CLOEXEC) != 0) {
        ThrowErrno("fcntl");
    }
    watch_ = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (watch_.Get() < 0 || ::inotify_add_watch(watch_.Get(), name, IN_OPEN | IN_CLOSE) < 0) {
        ThrowErrno("inotify");
    }
    if (!linkPath.empty()) {
        PointLink(linkPath, slavePath_);
        linkPath_ = linkPath;
    }
}

Pty::~Pty() {
    if (linkPath_.empty()) {
        return;
    }
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(linkPath_.c_str(), target.data(), target.size() - 1);
    if (length > 0 &&
        slavePath_ == std::string_view(target.data(), static_cast<std::size_t>(length))) {
        ::unlink(linkPath_.c_str());
    }
}

std::string Pty::LeaveLink() {
    if (linkPath_.empty()) {
        return "";
    }
    // Not the slave's own name: another pty may take that number at once.
    const std::string nowhere = slavePath_ + ".gone";
    PointLink(linkPath_, nowhere);
    linkPath_.clear();
    return nowhere;
}

void Pty::TakeOpensAndCloses() {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(watch_.Get(), buffer.data(), buffer.size());
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at < got;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            if ((event.mask & IN_OPEN) != 0) {
                ++openers_;
            } else if ((event.mask & IN_CLOSE) != 0 && openers_ > 0 && --openers_ == 0) {
                ::ioctl(slaveHolder_.Get(), TIOCNXCL);
                ::tcflush(slaveHolder_.Get(), TCIFLUSH);
            }
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
}

unsigned Pty::Speed() const {
    return LineSpeed(master_.Get());
}

std::size_t Pty::Read(std::span<std::uint8_t> into) {
    const ssize_t got = ::read(master_.Get(), into.data(), into.size());
    if (got < 0) {
        if (errno == EAGAIN || errno == EINTR || errno == EIO) {
            return 0;
        }
        ThrowErrno("read pty");
    }
    return static_cast<std::size_t>(got);
}

std::size_t Pty::Write(std::span<const std::uint8_t> bytes) {
    const ssize_t put = ::write(master_.Get(), bytes.data(), bytes.size());
    if (put < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            return 0;
        }
        ThrowErrno("write pty");
    }
    return static_cast<std::size_t>(put);
}

} // namespace dedarida::sim
