#include "tests/sim/scripted_host.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <system_error>

namespace dedarida::sim::test {

namespace {

void Stuffed(Bytes& out, std::uint8_t byte) {
    out.push_back(byte);
    if (byte == 0x10) {
        out.push_back(0x10);
    }
}

} // namespace

Bytes BlockRequest(std::uint32_t address, const Bytes& data) {
    Bytes body = {0x08,
                  0x04,
                  0x03,
                  static_cast<std::uint8_t>(address),
                  static_cast<std::uint8_t>(address >> 8),
                  static_cast<std::uint8_t>(address >> 16),
                  0x00};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto b : body) {
        sum += b;
    }
    body.push_back(static_cast<std::uint8_t>(sum));
    Bytes frame = {0x10, 0x04};
    for (const auto b : body) {
        Stuffed(frame, b);
    }
    frame.push_back(0x10);
    frame.push_back(0x05);
    return frame;
}

Bytes TestBlock(unsigned k) {
    Bytes block(1024);
    for (unsigned i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + k * 13);
    }
    return block;
}

Bytes TestImage() {
    Bytes image;
    for (unsigned k = 0; k < 86; ++k) {
        const auto block = TestBlock(k);
        image.insert(image.end(), block.begin(), block.end());
    }
    return image;
}

SimConfig FastConfig() {
    SimConfig config;
    config.rebootDelay = 0ms;
    config.eraseTime = 0ms;
    config.programTime = 0ms;
    config.checkTime = 0ms;
    return config;
}

ScriptedHost::ScriptedHost(const std::string& path, speed_t speed)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_.Get() < 0) {
        throw std::system_error(errno, std::generic_category(), "open " + path);
    }
    SetSpeed(speed);
}

void ScriptedHost::SetSpeed(speed_t speed) {
    termios settings{};
    if (::tcgetattr(fd_.Get(), &settings) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcgetattr");
    }
    cfmakeraw(&settings);
    cfsetspeed(&settings, speed);
    if (::tcsetattr(fd_.Get(), TCSANOW, &settings) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcsetattr");
    }
}

void ScriptedHost::Send(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno != EAGAIN) {
            throw std::system_error(errno, std::generic_category(), "write");
        }
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else {
            pollfd out{fd_.Get(), POLLOUT, 0};
            ::poll(&out, 1, 1000);
        }
    }
}

Bytes ScriptedHost::Read(std::size_t count, std::chrono::milliseconds timeout) {
    Bytes got;
    pieces_ = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd in{fd_.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&in, 1, static_cast<int>(left.count()) + 1) <= 0) {
            break;
        }
        std::uint8_t chunk[4096];
        const ssize_t n = ::read(fd_.Get(), chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), chunk, chunk + n);
        ++pieces_;
    }
    return got;
}

Bytes ScriptedHost::Drain(std::chrono::milliseconds quiet) {
    Bytes got;
    for (;;) {
        const auto more = Read(4096, quiet);
        if (more.empty()) {
            return got;
        }
        got.insert(got.end(), more.begin(), more.end());
    }
}

Bytes ScriptedHost::Exchange(const Bytes& request, std::size_t expected) {
    Send(request);
    return Read(expected);
}

bool ScriptedHost::HungUp() {
    pollfd in{fd_.Get(), POLLIN, 0};
    if (::poll(&in, 1, 1000) <= 0) {
        return false;
    }
    std::uint8_t byte = 0;
    const ssize_t n = ::read(fd_.Get(), &byte, 1);
    return n == 0 || (n < 0 && errno == EIO);
}

} // namespace dedarida::sim::test
