#include "image/untyped_file.h"

#include "image/file_open.h"
#include "image/in_out_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dedarida {

UntypedFile::~UntypedFile() {
    Release();
}

void UntypedFile::Release() {
    if (IsOpen()) {
        ::close(fd_);
        fd_ = -1;
    }
}

void UntypedFile::Assign(std::string Name) {
    Release();
    name_ = std::move(Name);
}

void UntypedFile::Open(int flags) {
    Release();
    const int fd = OpenFile(name_, flags);
    if (fd < 0)
        throw EInOutError(errno);
    fd_ = fd;
}

void UntypedFile::OpenRead() {
    // A FIFO must not hold the caller at open (on a regular file the flag
    // changes nothing); a directory would open and only fail on read. Only a
    // regular file is accepted.
    Open(O_RDONLY | ReadOpenFlags());
    struct stat info {};
    const int error = ::fstat(fd_, &info) != 0 ? errno
                      : S_ISREG(info.st_mode)  ? 0
                      : S_ISDIR(info.st_mode)  ? EISDIR
                                               : EINVAL;
    if (error != 0) {
        Release();
        throw EInOutError(error);
    }
}

void UntypedFile::Create() {
    Open(O_WRONLY | O_CREAT | O_TRUNC);
}

void UntypedFile::CreateIfAbsent() {
    // O_EXCL: an existing file is left exactly as it is, whatever its mode.
    const int fd = OpenFile(name_, O_WRONLY | O_CREAT | O_EXCL);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != EEXIST)
        throw EInOutError(errno);
}

void UntypedFile::RequireOpen() const {
    if (!IsOpen())
        throw EInOutError(EBADF);
}

std::size_t UntypedFile::BlockRead(std::span<std::uint8_t> Buffer) {
    RequireOpen();
    std::size_t done = 0;
    while (done < Buffer.size()) {
        const ssize_t n = ::read(fd_, Buffer.data() + done, Buffer.size() - done);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void UntypedFile::BlockWrite(std::span<const std::uint8_t> Data) {
    RequireOpen();
    std::size_t done = 0;
    while (done < Data.size()) {
        const ssize_t n = ::write(fd_, Data.data() + done, Data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EInOutError(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}

std::uint64_t UntypedFile::FileSize() const {
    RequireOpen();
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        throw EInOutError(errno);
    return static_cast<std::uint64_t>(info.st_size);
}

void UntypedFile::Close() {
    RequireOpen();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw EInOutError(errno);
}

} // namespace dedarida
