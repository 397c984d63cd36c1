#include "app/headless/headless_options.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace dedarida {

const char* const HeadlessUsage = R"(Usage: dedarida                       the window
       dedarida --upgrade --port PORT [--port PORT ...] [options]
       dedarida --list-ports [--json]
       dedarida --version

Runs a firmware upgrade without a window and exits with its result.

  --port PORT         COM name (COM1 ... COM9, or any COMn named by the
                      variable DEDARIDA_COMn) or a device path (/dev/ttyUSB0).
                      Give it several times to upgrade several devices at
                      once, each in a process of its own; lines then start
                      with the port, and a summary table ends the run
  --firmware FILE     send FILE instead of the built-in image: a raw image of
                      exactly 88064 bytes, or an S-record file (.s .mot .s19
                      .s28 .s37 .srec; CR LF, LF or CR line ends; 0xFF where
                      it sets nothing). Refused (exit 64, nothing sent), with
                      the first line concerned, for a malformed line
                      (lower-case hex, a count that does not match, S4), a
                      wrong record checksum, data outside 0x0E8800-0x0FDFFF
                      (S1 data too), overlapping records with other bytes, an
                      S5/S6 count that does not match, or no data
  --firmware-version TEXT
                      the version the result names for FILE (default: the
                      file's name and SHA-256)
  --quiet             print only the result line
  --from-bootloader   start at the bootloader phase: poll until the bootloader
                      answers, then erase and program (a device left in its
                      bootloader by an interrupted upgrade)
  --timeout SECONDS   give up when no reply has moved the upgrade on for this
                      long (default 60)
  --json              print one JSON result record on standard output at the
                      end, with several ports one array of records (progress
                      and status lines go to standard error)
  --trace FILE        write every frame sent and received to FILE (with
                      several ports: FILE.PORT, each '/' of PORT as '_')
  --list-ports        list the serial ports present: COM name, device, its
                      /dev/serial/by-id name, the USB adapter's ids, maker,
                      product and serial number, and whether another program
                      holds it; with --json as one JSON array
  --version           the tool's version and the size and SHA-256 of the
                      firmware it carries
  --help              this text

On a terminal the progress is one line redrawn in place (bar, percent, block,
data rate, time elapsed and left, step); in a file or pipe it is a line per
ten percent.

Exit status (with several ports: 0 when every device succeeded, otherwise
the status of the first port that failed, in the order given):
  0    "System Programmed OK": the device's own final check passed (blocks it
       answered "Verify error" are not sent again; the result line counts them)
  1    "System Program Fail", the device refused to erase its flash, or the
       line failed during the upgrade
  2    the device was refused ("You can not update this device !") or not
       recognised ("Unknown device !")
  3    no reply moved the upgrade on for --timeout seconds
  4    the port could not be opened
  64   the command line is wrong, or the --firmware file is refused
  69   the window found no display (use --upgrade, or set DISPLAY)
  74   the --json record or the --trace file could not be written (a full
       disk); the upgrade's own result is printed with the error
  130  interrupted (Ctrl-C, SIGTERM, or a closed terminal); the port is
       closed first

Examples:
  dedarida --upgrade --port COM5
  dedarida --upgrade --port COM5 --firmware fw45.s19 --firmware-version v4.5.1
  dedarida --upgrade --port COM5 --port COM6 --port /dev/ttyUSB3 --json

The window (no arguments) reads DEDARIDA_TRACE=FILE for the same trace; it
always sends the built-in image.
)";

bool WantsHeadless(int argc) {
    return argc > 1;
}

std::optional<HeadlessOptions> ParseHeadlessOptions(int argc, const char* const* argv,
                                                    std::string& error) {
    HeadlessOptions options;
    bool upgrade = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        // An empty value is a mistake, never a default: `--firmware "$FW"` with
        // FW unset must not send the built-in image.
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                error = argument + " needs a value";
                return nullptr;
            }
            if (*argv[++i] == '\0') {
                error = argument + " is given an empty value";
                return nullptr;
            }
            return argv[i];
        };
        if (argument == "--upgrade") {
            upgrade = true;
        } else if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--list-ports") {
            options.listPorts = true;
        } else if (argument == "--from-bootloader") {
            options.fromBootloader = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--supervised") {
            options.supervised = true;
        } else if (argument == "--port" || argument == "--trace" || argument == "--firmware" ||
                   argument == "--firmware-version") {
            const char* text = value();
            if (!text)
                return std::nullopt;
            if (argument == "--port")
                options.ports.push_back(text);
            else if (argument == "--trace")
                options.tracePath = text;
            else if (argument == "--firmware")
                options.firmwarePath = text;
            else
                options.firmwareVersion = text;
        } else if (argument == "--timeout") {
            const char* text = value();
            if (!text)
                return std::nullopt;
            long seconds = 0;
            const char* end = text + std::strlen(text);
            const auto [stop, status] = std::from_chars(text, end, seconds);
            if (status != std::errc() || stop != end || seconds < 1 || seconds > 86400) {
                error = "--timeout takes a number of seconds from 1 to 86400";
                return std::nullopt;
            }
            options.timeout = std::chrono::seconds(seconds);
        } else {
            error = "unknown argument " + argument;
            return std::nullopt;
        }
    }
    if (options.help || options.version)
        return options;
    if (options.listPorts) {
        if (upgrade)
            error = "--list-ports and --upgrade do not go together";
        return upgrade ? std::nullopt : std::optional(options);
    }
    if (!upgrade) {
        error = "the options need --upgrade";
        return std::nullopt;
    }
    if (options.ports.empty()) {
        error = "--upgrade needs --port PORT";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < options.ports.size(); ++i)
        if (std::find(options.ports.begin(), options.ports.begin() + i, options.ports[i]) !=
            options.ports.begin() + i) {
            error = "--port " + options.ports[i] + " is given twice";
            return std::nullopt;
        }
    if (!options.firmwareVersion.empty() && options.firmwarePath.empty()) {
        error = "--firmware-version names a --firmware FILE";
        return std::nullopt;
    }
    if (options.supervised && options.ports.size() != 1) {
        error = "--supervised takes one port";
        return std::nullopt;
    }
    return options;
}

} // namespace dedarida
