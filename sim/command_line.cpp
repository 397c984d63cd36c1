#include "sim/command_line.h"

#include "sim/sim_flash.h"

#include <array>
#include <charconv>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

namespace dedarida::sim {

namespace {

constexpr std::string_view Help = R"(usage: dedarida-sim [options]

Simulates the device on a pseudo terminal and prints the slave path. Runs until
SIGINT or SIGTERM. The device starts in application mode (4800 baud, 0x55
frames), enters its bootloader (38400 baud, DLE frames) after "GOING OFFLINE"
and the reboot delay, and returns to application mode after a good final check.
Bytes sent at a speed the device is not listening at are line garbage.
Replies: 55 3F 30 L 5D <command> <text> <sum> in application mode, and
10 02 <05 00 command status sum, 0x10 doubled> 10 03 in bootloader mode.

Line and device:
  --link PATH          also make PATH a symlink to the slave (a stale one is replaced)
  --paced              model the wire: 10 bits per byte at the line speed (default: off)
  --identity TEXT      identity text, at most 38 characters (default "FW ID  v4.1")
  --bootloader         start in bootloader mode
  --reboot-ms N        reboot delay after "GOING OFFLINE" and after a good check (300)
  --erase-ms N         Erase Flash processing time (500)
  --program-ms N       processing time of one block (2)
  --check-ms N         processing time of Start Application (50)
  --reference FILE     88064 bytes the final check compares the flash with (default: none)

Output:
  --transcript FILE    every frame as JSON lines: t_us, dir (in/out/event), baud, bytes, meaning
  --flash-out FILE     the 88064 flash bytes, written at exit

Faults (KIND: identity, start-upgrade, go-offline, poll, erase, program, start;
N counts requests of that kind from 1; options marked + may be repeated):
  --drop KIND:N        + no reply to the N-th request of KIND
  --corrupt KIND:N     + that reply's checksum is off by one
  --half-reply KIND:N  + send half of that reply, then answer nothing any more
  --wrong-speed KIND:N + send that reply at the other mode's line speed
  --split N[:MS]       send replies in pieces of N bytes, MS ms apart (0)
  --noise N            N random bytes (never 0x55 or 0x10) before every reply
  --verify-error N     + answer the N-th block with 1 (not stored)
  --command-error N    + answer the N-th block with 0xFD (not stored)
  --fail-check         answer Start Application with 1
  --refuse-erase       answer Erase Flash with 1, flash untouched
  --ignore-polls N     leave the first N Polls unanswered (0)
  --silent-offline     never answer the go-offline command (still reboots)
  --ignore-offline     never answer the go-offline command, nor act on it
  --identity-every MS  send the identity unasked every MS ms in the application
  --hang-up-at N       close the line when the N-th block arrives, then come back
                       in application mode on a new pty (same --link path)
  --comeback-ms N      time until that comeback (1000)
  --linger-ms N        leave the --link path in place N ms after the hang-up,
                       leading nowhere, as a device node may (0)
  --comeback-link PATH come back linked at PATH instead (plugged in elsewhere)
  --comeback-in-bootloader
                       come back in the bootloader instead, as a device whose
                       upgrade was cut off does
  --late-poll MS       answer every answered Poll a second time, MS ms later
  --double-ack MS      answer every block a second time, MS ms after the first
  --seed N             seed of the noise bytes (1)
  --help               this text
)";

unsigned Number(std::string_view option, std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        throw std::invalid_argument(std::string(option) + ": not a number: " + std::string(text));
    }
    return value;
}

Millis Ms(std::string_view option, std::string_view text) {
    return Millis(Number(option, text));
}

FaultTarget Target(std::string_view option, std::string_view text) {
    const auto colon = text.find(':');
    const auto kind = ParseRequestKind(text.substr(0, colon));
    if (colon == std::string_view::npos || !kind) {
        throw std::invalid_argument(std::string(option) + ": expected KIND:N, got " +
                                    std::string(text));
    }
    return {*kind, Number(option, text.substr(colon + 1))};
}

std::vector<std::uint8_t> ReadReference(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes;
    if (file) {
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (!file || bytes.size() != FlashSize) {
        throw std::invalid_argument("--reference: " + path + " is not a readable file of " +
                                    std::to_string(FlashSize) + " bytes");
    }
    return bytes;
}

using Setter = std::function<void(CommandLine&, std::string_view option, std::string_view arg)>;

struct Option {
    std::string_view name;
    bool takesArgument;
    Setter set;
};

const std::array<Option, 34>& Options() {
    static const std::array<Option, 34> options = {{
        {"--help", false, [](CommandLine& c, auto, auto) { c.help = true; }},
        {"--link", true, [](CommandLine& c, auto, auto a) { c.config.linkPath = a; }},
        {"--paced", false, [](CommandLine& c, auto, auto) { c.config.paced = true; }},
        {"--identity", true, [](CommandLine& c, auto, auto a) { c.config.identity = a; }},
        {"--bootloader", false,
         [](CommandLine& c, auto, auto) { c.config.startMode = DeviceMode::Bootloader; }},
        {"--reboot-ms", true,
         [](CommandLine& c, auto o, auto a) { c.config.rebootDelay = Ms(o, a); }},
        {"--erase-ms", true, [](CommandLine& c, auto o, auto a) { c.config.eraseTime = Ms(o, a); }},
        {"--program-ms", true,
         [](CommandLine& c, auto o, auto a) { c.config.programTime = Ms(o, a); }},
        {"--check-ms", true, [](CommandLine& c, auto o, auto a) { c.config.checkTime = Ms(o, a); }},
        {"--reference", true,
         [](CommandLine& c, auto, auto a) { c.config.reference = ReadReference(std::string(a)); }},
        {"--transcript", true, [](CommandLine& c, auto, auto a) { c.config.transcriptPath = a; }},
        {"--flash-out", true, [](CommandLine& c, auto, auto a) { c.flashOut = a; }},
        {"--drop", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.dropReply.push_back(Target(o, a)); }},
        {"--corrupt", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.corruptChecksum.push_back(Target(o, a));
         }},
        {"--wrong-speed", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.wrongSpeed.push_back(Target(o, a));
         }},
        {"--half-reply", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.halfReply.push_back(Target(o, a)); }},
        {"--split", true,
         [](CommandLine& c, auto o, auto a) {
             const auto colon = a.find(':');
             c.config.faults.splitPiece = Number(o, a.substr(0, colon));
             if (colon != std::string_view::npos) {
                 c.config.faults.splitGap = Ms(o, a.substr(colon + 1));
             }
         }},
        {"--noise", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.noiseBytes = Number(o, a); }},
        {"--verify-error", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.verifyErrorBlocks.push_back(Number(o, a));
         }},
        {"--command-error", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.commandErrorBlocks.push_back(Number(o, a));
         }},
        {"--fail-check", false,
         [](CommandLine& c, auto, auto) { c.config.faults.failFinalCheck = true; }},
        {"--refuse-erase", false,
         [](CommandLine& c, auto, auto) { c.config.faults.refuseErase = true; }},
        {"--ignore-polls", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.ignoredPolls = Number(o, a); }},
        {"--silent-offline", false,
         [](CommandLine& c, auto, auto) { c.config.faults.silentGoOffline = true; }},
        {"--ignore-offline", false,
         [](CommandLine& c, auto, auto) { c.config.faults.ignoreGoOffline = true; }},
        {"--identity-every", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.identityEvery = Ms(o, a); }},
        {"--linger-ms", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.lingerAfterHangUp = Ms(o, a); }},
        {"--hang-up-at", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.hangUpAtBlock = Number(o, a); }},
        {"--comeback-ms", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.comebackDelay = Ms(o, a); }},
        {"--comeback-link", true,
         [](CommandLine& c, auto, auto a) { c.config.faults.comebackLink = std::string(a); }},
        {"--comeback-in-bootloader", false,
         [](CommandLine& c, auto, auto) { c.config.faults.comebackInBootloader = true; }},
        {"--late-poll", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.latePollAnswer = true;
             c.config.faults.latePollDelay = Ms(o, a);
         }},
        {"--double-ack", true,
         [](CommandLine& c, auto o, auto a) {
             c.config.faults.doubleAck = true;
             c.config.faults.doubleAckDelay = Ms(o, a);
         }},
        {"--seed", true,
         [](CommandLine& c, auto o, auto a) { c.config.faults.seed = Number(o, a); }},
    }};
    return options;
}

} // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& options = Options();
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const Option& o) { return o.name == args[i]; });
        if (option == options.end()) {
            throw std::invalid_argument("unknown option " + std::string(args[i]) + " (see --help)");
        }
        std::string_view argument;
        if (option->takesArgument) {
            if (i + 1 == args.size()) {
                throw std::invalid_argument(std::string(args[i]) + " needs an argument");
            }
            argument = args[++i];
        }
        option->set(line, args[i - (option->takesArgument ? 1 : 0)], argument);
    }
    if (line.config.identity.size() > 38) {
        throw std::invalid_argument("--identity: at most 38 characters");
    }
    return line;
}

std::string_view HelpText() {
    return Help;
}

} // namespace dedarida::sim
