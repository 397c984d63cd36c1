#pragma once

#include "sim/sim_config.h"
#include "sim/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <termios.h>
#include <vector>

namespace dedarida::sim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The flash address of the image's first byte, as a program request states it.
constexpr std::uint32_t FirstBlock = 0x0E8800;

// Requests exactly as the tool's byte tables give them.
inline const Bytes IdentityRequest = {0x55, 0x30, 0x3F, 0x02, 0x03, 0xC9};
inline const Bytes StartUpgradeRequest = {0x55, 0x30, 0x3F, 0x02, 0xF6, 0xBC};
inline const Bytes GoOfflineRequest = {0x55, 0x30, 0x3F, 0x02, 0x69, 0x2F};
inline const Bytes PollRequest = {0x10, 0x04, 0x04, 0x00, 0x01, 0x05, 0x10, 0x05};
inline const Bytes EraseRequest = {0x10, 0x04, 0x04, 0x00, 0x02, 0x06, 0x10, 0x05};
inline const Bytes StartAppRequest = {0x10, 0x04, 0x04, 0x00, 0x04, 0x08, 0x10, 0x05};

// Replies: 55 3F 30 L 5D code text checksum, and DLE 02 (05 00 code status sum) DLE 03.
inline const Bytes IdentityReply = {0x55, 0x3F, 0x30, 0x0E, 0x5D, 0x03, 'F', 'W', ' ',
                                    'I',  'D',  ' ',  ' ',  'v',  '4',  '.', '1', 0xC5};
inline const Bytes ReadyReply = {0x55, 0x3F, 0x30, 0x13, 0x5D, 0xF6, 'R', 'E', 'A', 'D', 'Y', ' ',
                                 'T',  'O',  ' ',  'U',  'P',  'G',  'R', 'A', 'D', 'E', 0x8A};
inline const Bytes GoingOfflineReply = {0x55, 0x3F, 0x30, 0x10, 0x5D, 0x69, 'G', 'O', 'I', 'N',
                                        'G',  ' ',  'O',  'F',  'F',  'L',  'I', 'N', 'E', 0x31};
inline const Bytes PollOk = {0x10, 0x02, 0x05, 0x00, 0x01, 0x00, 0x06, 0x10, 0x03};
inline const Bytes EraseOk = {0x10, 0x02, 0x05, 0x00, 0x02, 0x00, 0x07, 0x10, 0x03};
inline const Bytes EraseFailed = {0x10, 0x02, 0x05, 0x00, 0x02, 0x01, 0x08, 0x10, 0x03};
inline const Bytes ProgramOk = {0x10, 0x02, 0x05, 0x00, 0x03, 0x00, 0x08, 0x10, 0x03};
inline const Bytes ProgramVerifyError = {0x10, 0x02, 0x05, 0x00, 0x03, 0x01, 0x09, 0x10, 0x03};
inline const Bytes ProgramCommandError = {0x10, 0x02, 0x05, 0x00, 0x03, 0xFD, 0x05, 0x10, 0x03};
inline const Bytes StartOk = {0x10, 0x02, 0x05, 0x00, 0x04, 0x00, 0x09, 0x10, 0x03};
inline const Bytes StartFailed = {0x10, 0x02, 0x05, 0x00, 0x04, 0x01, 0x0A, 0x10, 0x03};

// A Program request: DLE 04, stuffed body (08 04 03 address-LSB-first 1024 data sum), DLE 05.
Bytes BlockRequest(std::uint32_t address, const Bytes& data);
// The 1024 bytes of block k (0..85) of a test image that holds 0x10 bytes.
Bytes TestBlock(unsigned k);
Bytes TestImage();

// Every device time zero: for fast tests.
SimConfig FastConfig();

// The tool's end of the line: opens the slave raw at a speed and talks bytes.
class ScriptedHost {
public:
    explicit ScriptedHost(const std::string& path, speed_t speed = B4800);

    void SetSpeed(speed_t speed);
    void Send(const Bytes& bytes);
    // Reads until `count` bytes came or `timeout` passed; returns what came.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout = 2000ms);
    // Reads until the line has been quiet for `quiet`.
    Bytes Drain(std::chrono::milliseconds quiet = 30ms);
    // Send, then read as many bytes as `expected` holds.
    Bytes Exchange(const Bytes& request, std::size_t expected);
    // The number of separate reads the last Read() needed.
    unsigned Pieces() const { return pieces_; }
    int Fd() const { return fd_.Get(); }
    // True when the line has hung up (read gives EIO or end of file).
    bool HungUp();

private:
    UniqueFd fd_;
    unsigned pieces_ = 0;
};

} // namespace dedarida::sim::test
