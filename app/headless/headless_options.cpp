#include "app/headless/headless_options.h"

#include <charconv>
#include <cstring>

namespace dedarida {

const char* const HeadlessUsage = R"(Usage: dedarida                       the window
       dedarida --upgrade --port PORT [options]
       dedarida --list-ports [--json]
       dedarida --version

Runs one firmware upgrade without a window and exits with its result.

  --port PORT         COM name (COM1 ... COM9, or any COMn named by the
                      variable DEDARIDA_COMn) or a device path (/dev/ttyUSB0)
  --from-bootloader   start at the bootloader phase: poll until the bootloader
                      answers, then erase and program (a device left in its
                      bootloader by an interrupted upgrade)
  --timeout SECONDS   give up when no reply has moved the upgrade on for this
                      long (default 60)
  --json              print one JSON result record on standard output at the
                      end (progress and status lines go to standard error)
  --trace FILE        write every frame sent and received to FILE
  --list-ports        list the serial ports present: COM name, device, its
                      /dev/serial/by-id name, the USB adapter's ids, maker,
                      product and serial number, and whether another program
                      holds it; with --json as one JSON array
  --version           the tool's version and the size and SHA-256 of the
                      firmware it carries
  --help              this text

Exit status:
  0    "System Programmed OK"
  1    "System Program Fail", the device refused to erase its flash, or the
       line failed during the upgrade
  2    the device was refused ("You can not update this device !") or not
       recognised ("Unknown device !")
  3    no reply moved the upgrade on for --timeout seconds
  4    the port could not be opened
  64   the command line is wrong
  69   the window found no display (use --upgrade, or set DISPLAY)
  130  interrupted (Ctrl-C); the port is closed first

The window (no arguments) reads DEDARIDA_TRACE=FILE for the same trace.
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
        auto value = [&]() -> const char* {
            if (i + 1 < argc)
                return argv[++i];
            error = argument + " needs a value";
            return nullptr;
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
        } else if (argument == "--port") {
            const char* port = value();
            if (!port)
                return std::nullopt;
            options.port = port;
        } else if (argument == "--trace") {
            const char* path = value();
            if (!path)
                return std::nullopt;
            options.tracePath = path;
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
    if (options.port.empty()) {
        error = "--upgrade needs --port PORT";
        return std::nullopt;
    }
    return options;
}

} // namespace dedarida
