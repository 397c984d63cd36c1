#pragma once

#include "unit/progress_snapshot.h"
#include "unit/run_options.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida {

// The protocol between a fleet's parent and the process it runs for each
// unit: what the unit's process is told (its arguments, from the parent's
// options), and what it tells back besides its ordinary lines: its progress as
// live lines on standard error, and its JSON record on standard output, from
// which the parent fills in its summary. Device texts reach neither as lines
// of their own, and the exit status is the process's, never a line's.
inline constexpr const char* LivePrefix = "live: ";
// The device the unit is on, as Printable shows it: said once the port is
// known, and again when the unit comes back under another name.
inline constexpr const char* PlacePrefix = "at: ";
// The unit's line went and it waits this many seconds at most for its
// adapter to come back: "waiting: 30".
inline constexpr const char* WaitingPrefix = "waiting: ";

// What every unit of one fleet run is given alike, chosen once by the parent.
struct UnitSettings {
    HeadlessOptions options; // the parent's
    // The name the records carry; empty: the unit's process takes the host's.
    std::string stationName;
    // A file holding the image every unit is sent, pinned when the run began
    // (empty: the built-in image), and the SHA-256 of the image sent.
    std::string pinnedImage;
    std::string sha256;
    // The program each unit runs in; empty: this executable.
    std::string program;
};

// The arguments (without the program) of the process that upgrades the unit
// on `port`; `tag` tells its trace file from the others' (see UnitTracePath).
std::vector<std::string> UnitArguments(const UnitSettings& settings, const std::string& port,
                                       const std::string& tag);

// FILE.TAG, with every character of TAG that some file system refuses as '_',
// and never a name Windows keeps for a device (CON, COM1 ...).
std::string UnitTracePath(const std::string& trace, const std::string& tag);

// One upgrade's row of the summary table.
struct UpgradeSummary {
    std::string result; // ResultName
    int exitStatus = 0;
    double seconds = 0;
    std::optional<double> bytesPerSecond;
    std::string identity;
    ResultNotes notes;
    int attempts = 1; // counting the first
};

UpgradeSummary SummaryOf(const UpgradeReport& report, UpgradeResult result);

std::string LiveLine(const ProgressSnapshot& snapshot);
std::optional<ProgressSnapshot> ParseLiveLine(const std::string& line);
std::string WaitingLine(std::chrono::seconds window);
std::optional<std::chrono::seconds> ParseWaitingLine(const std::string& line);

// The summary a record (UpgradeReport::Json) gives; nothing when `record` is
// not such a record.
std::optional<UpgradeSummary> ParseRecord(std::string_view record);

} // namespace dedarida
