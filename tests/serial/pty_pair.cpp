#include "tests/serial/pty_pair.h"

#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace dedarida::test {

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
    close(slave_);
}

void PtyPair::WriteMaster(const std::string& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("pty master write failed");
}

std::string PtyPair::ReadMaster(std::size_t count) {
    std::string got;
    while (got.size() < count) {
        pollfd fd{master_, POLLIN, 0};
        if (poll(&fd, 1, 1000) <= 0)
            break;
        char chunk[256];
        const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0)
            break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

} // namespace dedarida::test
