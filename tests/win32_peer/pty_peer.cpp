// The far end of a COM port that wine maps onto a pty, for the Windows
// backend's tests: it echoes what it gets and answers a few command bytes.
//   0xF1  reply with the line speed the port set, in decimal, then '\n'
//   0xF2  send the 100 bytes 0..99
//   0xF3  hang up: close the master, then come back on a new pty
//   0xF4  send 'L' 300 ms later, as a device that takes its time to reply
// Runs until SIGINT or SIGTERM; prints the slave path.

#include "sim/pty.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <numeric>
#include <poll.h>
#include <span>
#include <string>
#include <thread>

namespace {

constexpr std::uint8_t kReportSpeed = 0xF1;
constexpr std::uint8_t kSendHundred = 0xF2;
constexpr std::uint8_t kHangUp = 0xF3;
constexpr std::uint8_t kReplyLate = 0xF4;
constexpr auto kComebackDelay = std::chrono::milliseconds(300);
constexpr auto kLateReplyDelay = std::chrono::milliseconds(300);

volatile std::sig_atomic_t gStop = 0;

void WriteAll(dedarida::sim::Pty& pty, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t sent = pty.Write(bytes);
        bytes = bytes.subspan(sent);
        if (sent == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Serves `pty` until a hang-up command (true) or a stop signal (false).
bool Serve(dedarida::sim::Pty& pty) {
    std::array<std::uint8_t, 4096> buffer{};
    while (gStop == 0) {
        pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {pty.WatchFd(), POLLIN, 0}};
        if (poll(fds, 2, 200) <= 0)
            continue;
        if ((fds[1].revents & POLLIN) != 0)
            pty.TakeOpensAndCloses();
        const std::size_t got = pty.Read(buffer);
        std::size_t echoFrom = 0;
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint8_t byte = buffer[i];
            if (byte < kReportSpeed || byte > kReplyLate)
                continue;
            WriteAll(pty, std::span(buffer).subspan(echoFrom, i - echoFrom));
            echoFrom = i + 1;
            if (byte == kHangUp)
                return true;
            if (byte == kReportSpeed) {
                const std::string speed = std::to_string(pty.Speed()) + "\n";
                WriteAll(pty, std::span(reinterpret_cast<const std::uint8_t*>(speed.data()),
                                        speed.size()));
            } else if (byte == kSendHundred) {
                std::array<std::uint8_t, 100> hundred{};
                std::iota(hundred.begin(), hundred.end(), std::uint8_t{0});
                WriteAll(pty, hundred);
            } else if (byte == kReplyLate) {
                std::this_thread::sleep_for(kLateReplyDelay);
                const std::uint8_t late = 'L';
                WriteAll(pty, std::span(&late, 1));
            }
        }
        WriteAll(pty, std::span(buffer).subspan(echoFrom, got - echoFrom));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dedarida-pty-peer LINK\n");
        return 64;
    }
    std::signal(SIGINT, [](int) { gStop = 1; });
    std::signal(SIGTERM, [](int) { gStop = 1; });
    for (;;) {
        auto pty = std::make_unique<dedarida::sim::Pty>(argv[1]);
        std::printf("%s\n", pty->SlavePath().c_str());
        std::fflush(stdout);
        if (!Serve(*pty))
            return 0;
        pty.reset();
        std::this_thread::sleep_for(kComebackDelay);
    }
}
