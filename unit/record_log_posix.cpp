#include "unit/record_log_posix.h"

#include "unit/record_log_parts.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dedarida {

namespace {

std::string Words(int error) {
    return std::generic_category().message(error);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

// What a path that is no regular file is, in words.
std::string Kind(mode_t mode) {
    if (S_ISLNK(mode))
        return "it is a symbolic link (give the file it points to)";
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a FIFO, not a regular file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a regular file";
    return "it is a device, not a regular file";
}

// The new name survives a crash only once its folder is on the disk too.
std::string SyncFolder(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    const Descriptor fd(
        open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems sync no folders, and need not.
    if (fd.Get() < 0 || (fsync(fd.Get()) != 0 && errno != EINVAL))
        return "its folder could not be synced (" + Words(errno) + ")";
    return {};
}

// The log open for reading and appending: a regular file, never reached
// through a symbolic link, made when missing. -1, with the reason in
// `error`, when it cannot be used. Anything else found at the path is left
// unopened (a serial port would see its lines move); what is put there
// between the look and the open is caught by the open's flags.
int OpenLog(const std::string& path, std::string& error) {
    constexpr int flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // Another writer may make it between the look and the open, or remove it.
    for (int tries = 0; tries < 3; ++tries) {
        struct stat status {};
        if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            error = Kind(status.st_mode);
            return -1;
        }
        bool created = false;
        int fd = open(path.c_str(), flags);
        if (fd < 0 && errno == ENOENT) {
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
            if (fd < 0 && errno == EEXIST)
                continue;
            created = fd >= 0;
        }
        if (fd < 0) {
            error = errno == ENOENT  ? "its folder does not exist"
                    : errno == ELOOP ? Kind(S_IFLNK)
                                     : Words(errno);
            return -1;
        }
        if (fstat(fd, &status) != 0)
            error = Words(errno);
        else if (!S_ISREG(status.st_mode))
            error = Kind(status.st_mode);
        else if (created)
            error = SyncFolder(path);
        if (error.empty())
            return fd;
        close(fd);
        return -1;
    }
    error = "another program makes and removes it";
    return -1;
}

// Where the log's whole lines end, of its `size`; nothing, with the reason in
// `error`, when that cannot be told or the file is no log.
std::optional<std::uint64_t> EndOfWholeLinesIn(int fd, off_t& size, std::string& error) {
    size = lseek(fd, 0, SEEK_END);
    if (size < 0) {
        error = Words(errno);
        return std::nullopt;
    }
    return EndOfWholeLines(
        static_cast<std::uint64_t>(size),
        [&](char* data, std::size_t count, std::uint64_t offset) -> long long {
            const ssize_t got = pread(fd, data, count, static_cast<off_t>(offset));
            if (got < 0)
                error = Words(errno);
            return got;
        },
        error);
}

// Puts `line` at the end of the locked log, whole or not at all.
std::string AppendLocked(int fd, const std::string& line, LogFileCalls& calls) {
    std::string error;
    off_t size = 0;
    const auto end = EndOfWholeLinesIn(fd, size, error);
    if (!end)
        return error;
    // A tail without its line end was left by a writer that died.
    if (static_cast<off_t>(*end) != size && ftruncate(fd, static_cast<off_t>(*end)) != 0)
        return "the unfinished line another writer left could not be cut off (" + Words(errno) +
               ")";
    const ssize_t written = calls.Write(fd, line.data(), line.size());
    if (written < 0)
        error = Words(errno);
    else if (static_cast<std::size_t>(written) != line.size())
        error = "the disk took only part of the record";
    else if (fsync(fd) != 0)
        error = Words(errno);
    if (!error.empty() && ftruncate(fd, static_cast<off_t>(*end)) != 0)
        error += "; the part written could not be cut off (" + Words(errno) + ")";
    return error;
}

} // namespace

ssize_t LogFileCalls::Write(int fd, const void* data, std::size_t size) {
    return write(fd, data, size);
}

LogFileCalls& SystemLogFileCalls() {
    static LogFileCalls calls;
    return calls;
}

std::string CheckLog(const std::string& path) {
    std::string error;
    const Descriptor log(OpenLog(path, error));
    off_t size = 0;
    if (log.Get() >= 0)
        EndOfWholeLinesIn(log.Get(), size, error);
    return error;
}

std::string AppendRecord(const std::string& path, const std::string& record, const LogWait& wait,
                         LogFileCalls& calls) {
    std::string error;
    const Descriptor log(OpenLog(path, error));
    const int fd = log.Get();
    if (fd < 0)
        return error;
    int lockError = 0;
    error = WaitWhileBusy(wait, "another program holds the lock of " + path, [&] {
        lockError = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
        return lockError == EWOULDBLOCK || lockError == EINTR;
    });
    if (error.empty() && lockError != 0)
        error = Words(lockError);
    if (!error.empty())
        return error;
    error = AppendLocked(fd, record + "\n", calls);
    flock(fd, LOCK_UN);
    return error;
}

std::string AppendRecord(const std::string& path, const std::string& record, const LogWait& wait) {
    return AppendRecord(path, record, wait, SystemLogFileCalls());
}

} // namespace dedarida
