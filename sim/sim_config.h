#pragma once

#include "sim/request_kind.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace dedarida::sim {

using Millis = std::chrono::milliseconds;

// Rebooting: between the two programs, deaf to the line.
enum class DeviceMode : std::uint8_t { Application, Rebooting, Bootloader };

// "The n-th request of this kind" (n counts from 1 over the device's lifetime).
struct FaultTarget {
    RequestKind kind;
    unsigned n;
    bool operator==(const FaultTarget&) const = default;
};

// Scripted misbehaviour; everything off by default. Random choices come from `seed`.
struct SimFaults {
    std::vector<FaultTarget> dropReply;       // the request gets no answer
    std::vector<FaultTarget> corruptChecksum; // the answer's checksum byte is off by one
    std::vector<FaultTarget> halfReply;       // half the answer, then silence for good
    std::vector<FaultTarget> wrongSpeed;      // the answer goes out at the other mode's speed
    unsigned splitPiece = 0;                  // >0: replies go out in pieces of this many bytes
    Millis splitGap{0};                       // pause between two pieces
    unsigned noiseBytes = 0;                  // random bytes sent before every reply
    std::vector<unsigned> verifyErrorBlocks;  // n-th Program answered 1, block not stored
    std::vector<unsigned> commandErrorBlocks; // n-th Program answered 0xFD, block not stored
    bool failFinalCheck = false;              // Start Application answered 1
    bool refuseErase = false;                 // Erase Flash answered 1, flash untouched
    unsigned ignoredPolls = 0;                // the first n Polls get no answer
    bool silentGoOffline = false;             // 0x69 never answered (the reboot still happens)
    bool ignoreGoOffline = false;             // 0x69 never answered, and no reboot either
    Millis identityEvery{0};                  // >0: the identity sent unasked this often, in the
                                              // application
    unsigned hangUpAtBlock = 0;               // >0: the line drops when this Program arrives
    Millis comebackDelay{1000};               // then a new pty appears after this time
    Millis lingerAfterHangUp{0};              // the old link stays this long after the hang-up,
                                              // leading nowhere, as a device node may
    bool comebackInBootloader = false;        // ...with the device in its bootloader
    std::string comebackLink;                 // ...linked here (empty: at linkPath)
    bool latePollAnswer = false;              // every answered Poll is answered again...
    Millis latePollDelay{500};                // ...this long after the first answer
    bool doubleAck = false;                   // every block is answered a second time...
    Millis doubleAckDelay{0};                 // ...this long after the first answer
    std::uint32_t seed = 1;
};

// The answer to one application request carries `text` (at most 38
// characters) in place of the device's own.
struct ScriptedText {
    FaultTarget target;
    std::string text;
};

// Everything the simulated device lets a test or the command line choose.
struct SimConfig {
    std::string identity = "FW ID  v4.1"; // at most 38 characters
    DeviceMode startMode = DeviceMode::Application;
    bool paced = false;                  // model the wire: 10 bits per byte at the line speed
    std::string linkPath;                // empty: no symlink, only the slave path
    Millis rebootDelay{300};             // after "GOING OFFLINE" and after a good final check
    Millis eraseTime{500};               // Erase Flash until its answer
    Millis programTime{2};               // one block until its answer
    Millis checkTime{50};                // Start Application until its answer
    std::vector<std::uint8_t> reference; // empty, or the 88064 bytes the check compares with
    std::string transcriptPath;          // empty: the transcript is kept in memory only
    SimFaults faults;
    std::vector<ScriptedText> replyTexts;
};

} // namespace dedarida::sim
