#include "app/headless/record_log.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace dedarida {

namespace {

std::string Reason() {
    return std::generic_category().message(errno);
}

// A line another writer left without its end (its disk filled up) must not
// swallow this one.
bool EndsWithLineEnd(int fd) {
    const off_t size = lseek(fd, 0, SEEK_END);
    char last = '\n';
    return size <= 0 || (pread(fd, &last, 1, size - 1) == 1 && last == '\n');
}

} // namespace

std::string AppendRecord(const std::string& path, const std::string& record) {
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return Reason();
    std::string error;
    if (flock(fd, LOCK_EX) != 0) {
        error = Reason();
    } else {
        const std::string line = (EndsWithLineEnd(fd) ? "" : "\n") + record + "\n";
        const ssize_t written = write(fd, line.data(), line.size());
        if (written < 0)
            error = Reason();
        else if (static_cast<std::size_t>(written) != line.size())
            error = "the disk took only part of the record";
        else if (fsync(fd) != 0)
            error = Reason();
    }
    close(fd);
    return error;
}

} // namespace dedarida
