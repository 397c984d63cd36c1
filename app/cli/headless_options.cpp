#include "app/cli/headless_options.h"

#include "app/cli/usage_text.h"
#include "ports/port_selector.h"
#include "serial/com_names.h"
#include "serial/same_device.h"
#include "text/ascii_case.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace dedarida {

const std::string HeadlessUsage =
    std::string(R"(Usage: dedarida                       the window
       dedarida --upgrade --port PORT [--port PORT ...] [options]
       dedarida --station [--window] [--port usb:VID:PID[:SERIAL] ...] [options]
       dedarida --job FILE [--json] [--quiet] [--trace FILE] [--window]
       dedarida --list-ports [--json]
       dedarida --version

Runs a firmware upgrade without a window and exits with its result.

)") +
    usage_text::kPortNames +
    R"(                      or a USB adapter whatever name the system gives it:
                      usb:VID:PID[:SERIAL] by its ids and serial number (in
                      either case), or
                      usb-path:PATH by the USB port it is plugged into, or
                      usb-path:PATH:IF for one tty (interface IF) of a
                      multi-interface adapter (as --list-ports shows them;
                      several matches are refused with what names each:
                      look-alikes, with the same ids and serial number, only
                      their usb-path). Give it several times to
                      upgrade several devices at once, each in a process of
                      its own; lines then start with the port, and a summary
                      table ends the run
  --station           the production station: upgrade every USB serial
                      adapter as it is plugged in (with --port usb:... or
                      usb-path:..., only those), each in a process of its
                      own, say PASS or FAIL, wait for its removal, and go on
                      until Ctrl-C, which ends with the count of units,
                      passed, failed and interrupted, and the yield. A device
                      found in its bootloader is upgraded from there
  --window            with --station: show the station in a window, a tile
                      per fixture position with its unit's phase, progress,
                      times and PASS or FAIL in colour with the reason and
                      what to do next, under the firmware, the log and the
                      counters (first-pass yield too); a slot whose last 3
                      units failed is flagged. Nothing in it changes what the
                      station runs. Closing it while units run asks, then
                      stops them as Ctrl-C does, each with its record
  --log FILE          append one JSON line per unit to FILE: time (UTC),
                      tool version, station, port, USB serial number,
                      identity, firmware SHA-256, result, exit status, phase
                      times, attempts, line errors, replies discarded. Each
                      line is written whole and synced; several stations may
                      share the file. A FILE that cannot take records (no
                      regular file, a symbolic link, a missing folder, no
                      permission) is refused (exit 64) before any port is
                      opened
  --station-name NAME the station named in the log (default: the host name)
  --retries N         after a lost line or a silent bootloader, wait up to 30
                      s (or --timeout, if shorter) for the same adapter (USB
                      ids, interface and serial number; once a look-alike was
                      seen beside it, in its own USB port) to come back, never
                      one already there when the line went, and go on from
                      its bootloader (or its identity), N times at most
                      (default 0); a device found silent but answering in its
                      bootloader is then upgraded from there too
  --on-unit PROGRAM   once each unit's record is written (one port, several
                      ports, the station), run PROGRAM with the record on its
                      standard input and PORT, RESULT, EXIT_STATUS and
                      USB_SERIAL in its environment: a database, a label
                      printer. PROGRAM is one path, started directly with no
                      arguments, never through a shell; one that cannot be
                      started is refused (exit 64) before any port is opened.
                      It runs beside the next units, holds none back and
                      changes no verdict; how it ended gets a line of its
                      unit's, and the end counts the hooks run and failed.
                      Ctrl-C reaches it as it reaches the units
  --on-unit-timeout SECONDS
                      kill PROGRAM past this long (default 30), on Linux
                      with what it started
  --firmware FILE     send FILE instead of the built-in image: a raw image of
                      exactly 88064 bytes, an S-record file (.s .mot .s19
                      .s28 .s37 .srec) or an Intel HEX file (.hex .ihex;
                      records 00-05, digits of either case); CR LF, LF or CR
                      line ends; 0xFF where it sets nothing. Refused (exit 64,
                      nothing sent), with the first line concerned, for a
                      malformed line (S-records: lower-case hex, a count that
                      does not match, S4), a wrong record checksum, data
                      outside 0x0E8800-0x0FDFFF (S1 data too), overlapping
                      records with other bytes, an S5/S6 count that does not
                      match, a line after the Intel HEX end-of-file record or
                      none at all, or no data. With several ports or
                      --station the file is read once, at the start, and
                      that image goes to every device
  --firmware-version TEXT
                      the version the result names for FILE (default: the
                      file's name and SHA-256)
  --expect-sha256 HEX refuse the upgrade (exit 64, no port touched) unless the
                      image to be sent (the --firmware FILE's, or the built-in
                      one) has this SHA-256 (64 hex digits; both are printed)
  --job FILE          run what the JSON job FILE fixes, for example
                        {"name": "line-3 fw 4.5.1",
                         "firmware": {"file": "fw451.s28", "sha256": "9f2c...",
                                      "version": "v4.5.1"},
                         "ports": ["usb:0403:6001"], "retries": 1,
                         "timeout": 60, "station": "line-3",
                         "log": "units.jsonl"}
                      "name" and "firmware.sha256" are required; without
                      "file" the built-in image is meant. With "station" it
                      runs the station of that name ("ports" its filters),
                      else an upgrade of its "ports"; "fromBootloader": true
                      as --from-bootloader, "onUnit" and "onUnitTimeout" as
                      --on-unit and --on-unit-timeout. Paths are taken from
                      FILE's folder. An unknown key, a wrong type or a
                      missing key is refused (exit 64), naming the key; so
                      is an image whose SHA-256 is not the job's (both
                      printed, no port touched). Every record names the job
                      and the SHA-256 of FILE. A job is locked: only
                      --json, --quiet, --trace and --window may be added
  --quiet             print only the result line
  --from-bootloader   start at the bootloader phase: poll until the bootloader
                      answers, then erase and program (a device left in its
                      bootloader by an interrupted upgrade)
  --timeout SECONDS   give up when no reply has moved the upgrade on for this
                      long (default 60; a handshake begun again is no
                      progress)
  --json              print one JSON result record on standard output at the
                      end, with several ports one array of records (progress
                      and status lines go to standard error)
  --trace FILE        write every frame sent and received to FILE (with
                      several ports FILE.PORT, with --station FILE.PORT.N for
                      unit N; in PORT every character but A-Z a-z 0-9 . _ -
                      as '_')
)" + usage_text::kListPorts +
    R"(  --version           the tool's version and the size and SHA-256 of the
                      firmware it carries
  --help              this text

On a terminal the progress is one line redrawn in place (bar, percent, block,
data rate, time elapsed and left, step); in a file or pipe it is a line per
ten percent. A reader that stops reading (Ctrl-S, a pager) holds nothing
back: redraws it missed are merged, and the end waits for it at most 5 s.

Exit status (with several ports: 0 when every device succeeded, otherwise
the status of the first port that failed, in the order given; --station: 1
when a unit failed, else 130 when one was interrupted, else 0):
  0    "System Programmed OK": the device's own final check passed (blocks it
       answered "Verify error" are not sent again; the result line counts them)
  1    "System Program Fail", the device refused to erase its flash, or the
       line failed during the upgrade
  2    the device was refused ("You can not update this device !") or not
       recognised ("Unknown device !")
  3    no reply moved the upgrade on for --timeout seconds
  4    the port could not be opened, or no adapter matches --port usb:...
  5    the device is silent but its bootloader answers (an interrupted
       upgrade?): recover it with --from-bootloader
  64   the command line is wrong, the --job, --firmware or --log file is
       refused, or the --on-unit PROGRAM cannot be started
)" + usage_text::kNoDisplay +
    R"(  74   the --json record or the --trace file could not be written (a full
       disk); the upgrade's own result is printed with the error
)" + usage_text::kInterrupt +
    R"(
Examples:
  dedarida --upgrade --port COM5
  dedarida --upgrade --port COM5 --firmware fw45.s19 --firmware-version v4.5.1
)" + usage_text::kSeveralPorts +
    R"(  dedarida --upgrade --port usb:0403:6001:A10K2B3C --retries 2
  dedarida --station --port usb:0403:6001 --log units.jsonl --retries 1
  dedarida --station --window --log units.jsonl --retries 1
  dedarida --job /srv/line-3/fw451.json --quiet

The window (no arguments) reads DEDARIDA_TRACE=FILE for the same trace; it
always sends the built-in image.
)";

bool WantsHeadless(int argc) {
    return argc > 1;
}

namespace {

// One option of the command line: a flag, or an option with a value, which
// must not be empty (`--firmware "$FW"` with FW unset must not send the
// built-in image). A value's setter returns the reason it is refused, or
// nothing.
struct Option {
    const char* name;
    std::function<void(HeadlessOptions&)> flag;
    std::function<std::optional<std::string>(HeadlessOptions&, const std::string&)> value;
};

// A whole number from `low` to `high`, or nothing.
std::optional<long> Number(const std::string& text, long low, long high) {
    long number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, number);
    if (status != std::errc() || stop != end || number < low || number > high)
        return std::nullopt;
    return number;
}

using Refusal = std::optional<std::string>;

Refusal Sha256Refusal(const char* option, const std::string& value, std::string& hash) {
    hash = AsciiLower(value);
    if (!IsSha256Text(hash))
        return std::string(option) + " takes the 64 hex digits of a SHA-256";
    return {};
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"--upgrade", [](HeadlessOptions& o) { o.upgrade = true; }, {}},
        {"--help", [](HeadlessOptions& o) { o.help = true; }, {}},
        {"--version", [](HeadlessOptions& o) { o.version = true; }, {}},
        {"--list-ports", [](HeadlessOptions& o) { o.listPorts = true; }, {}},
        {"--from-bootloader", [](HeadlessOptions& o) { o.fromBootloader = true; }, {}},
        {"--json", [](HeadlessOptions& o) { o.json = true; }, {}},
        {"--quiet", [](HeadlessOptions& o) { o.quiet = true; }, {}},
        {"--station", [](HeadlessOptions& o) { o.station = true; }, {}},
        {"--window", [](HeadlessOptions& o) { o.window = true; }, {}},
        {"--supervised", [](HeadlessOptions& o) { o.supervised = true; }, {}},
        {"--recover-bootloader", [](HeadlessOptions& o) { o.recoverBootloader = true; }, {}},
        {"--port",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             std::string error;
             if (!ParsePortSelector(v, error))
                 return error;
             o.ports.push_back(v);
             return {};
         }},
        {"--trace",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.tracePath = v;
             return {};
         }},
        {"--firmware",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.firmwarePath = v;
             return {};
         }},
        {"--firmware-version",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.firmwareVersion = v;
             return {};
         }},
        {"--expect-sha256",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             return Sha256Refusal("--expect-sha256", v, o.expectSha256);
         }},
        {"--job",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             if (!o.jobPath.empty())
                 return "one --job at a time";
             o.jobPath = v;
             return {};
         }},
        {"--job-name",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.jobName = v;
             return {};
         }},
        {"--job-sha256",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             return Sha256Refusal("--job-sha256", v, o.jobSha256);
         }},
        {"--pinned-firmware",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.pinnedFirmwarePath = v;
             return {};
         }},
        {"--log",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.logPath = v;
             return {};
         }},
        {"--station-name",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.stationName = v;
             return {};
         }},
        {"--timeout",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             const auto seconds = Number(v, 1, 86400);
             if (!seconds)
                 return "--timeout takes a number of seconds from 1 to 86400";
             o.timeout = std::chrono::seconds(*seconds);
             return {};
         }},
        {"--on-unit",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             o.onUnit = v;
             return {};
         }},
        {"--on-unit-timeout",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             const auto seconds = Number(v, 1, 86400);
             if (!seconds)
                 return "--on-unit-timeout takes a number of seconds from 1 to 86400";
             o.onUnitTimeout = std::chrono::seconds(*seconds);
             return {};
         }},
        {"--retries",
         {},
         [](HeadlessOptions& o, const std::string& v) -> Refusal {
             const auto retries = Number(v, 0, 9);
             if (!retries)
                 return "--retries takes a number from 0 to 9";
             o.retries = static_cast<int>(*retries);
             return {};
         }},
    };
    return options;
}

// Whether two --port texts name one device: COM5 and the device it maps to
// are one port, however each is written.
bool SamePort(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::string error;
    if (ParsePortSelector(a, error)->kind != PortSelector::Kind::Name ||
        ParsePortSelector(b, error)->kind != PortSelector::Kind::Name)
        return false;
    const std::string device = DevicePathForPortArgument(a);
    return !device.empty() && SameDevice(device, DevicePathForPortArgument(b));
}

} // namespace

bool IsSha256Text(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

Refusal CombinationRefusal(const HeadlessOptions& o) {
    if (o.listPorts)
        return o.upgrade || o.station || !o.ports.empty()
                   ? Refusal("--list-ports goes alone (with --json)")
                   : Refusal();
    if (o.station && o.upgrade)
        return "--station runs upgrades of its own: leave out --upgrade";
    if (!o.upgrade && !o.station)
        return "the options need --upgrade (or --station)";
    if (o.window && !o.station)
        return "--window shows the station: it goes with --station";
    if (o.upgrade && o.ports.empty())
        return "--upgrade needs --port PORT";
    for (std::size_t i = 0; i < o.ports.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (SamePort(o.ports[j], o.ports[i]))
                return "--port " + o.ports[i] + " is given twice" +
                       (o.ports[i] == o.ports[j] ? "" : " (as " + o.ports[j] + ")");
    if (o.station) {
        std::string error;
        for (const std::string& port : o.ports)
            if (ParsePortSelector(port, error)->kind == PortSelector::Kind::Name)
                return "--station takes --port usb:VID:PID[:SERIAL] or usb-path:PATH as a filter, "
                       "not " +
                       port;
        if (o.json)
            return "--station writes a record per unit with --log FILE, not --json";
        if (o.fromBootloader)
            return "--station finds devices in their bootloader by itself: leave out "
                   "--from-bootloader";
    }
    if (o.onUnit.empty() &&
        std::find(o.given.begin(), o.given.end(), "--on-unit-timeout") != o.given.end())
        return "--on-unit-timeout bounds an --on-unit PROGRAM";
    if (!o.onUnit.empty() && o.supervised)
        return "--on-unit runs in a fleet's parent, not in a unit's process";
    if (!o.firmwareVersion.empty() && o.firmwarePath.empty())
        return "--firmware-version names a --firmware FILE";
    if (o.supervised && o.ports.size() != 1)
        return "--supervised takes one port";
    if (!o.pinnedFirmwarePath.empty() && (!o.supervised || o.firmwarePath.empty()))
        return "--pinned-firmware is given by a fleet's parent with --firmware";
    if (!o.stationName.empty() && !o.station && !o.supervised && o.logPath.empty())
        return "--station-name names the station in --log records";
    if (!o.jobName.empty() || !o.jobSha256.empty())
        if (o.jobName.empty() || o.jobSha256.empty() || (!o.supervised && o.jobPath.empty()))
            return "--job-name and --job-sha256 are given together by a fleet's parent";
    return {};
}

std::optional<HeadlessOptions> ParseHeadlessOptions(int argc, const char* const* argv,
                                                    std::string& error) {
    HeadlessOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (usage_text::kHelpAlias != nullptr && argument == usage_text::kHelpAlias)
            argument = "--help";
        const auto& table = Options();
        const auto option = std::find_if(table.begin(), table.end(),
                                         [&](const Option& o) { return argument == o.name; });
        if (option == table.end()) {
            error = "unknown argument " + argument;
            return std::nullopt;
        }
        options.given.push_back(argument);
        if (option->flag) {
            option->flag(options);
            continue;
        }
        if (i + 1 >= argc) {
            error = argument + " needs a value";
            return std::nullopt;
        }
        const std::string value = argv[++i];
        if (value.empty()) {
            error = argument + " is given an empty value";
            return std::nullopt;
        }
        if (const Refusal refusal = option->value(options, value)) {
            error = *refusal;
            return std::nullopt;
        }
    }
    if (options.help || options.version || !options.jobPath.empty())
        return options;
    if (const Refusal refusal = CombinationRefusal(options)) {
        error = *refusal;
        return std::nullopt;
    }
    return options;
}

} // namespace dedarida
