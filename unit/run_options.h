#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace dedarida {

// What a headless run is to do: the command line parsed, with a job
// applied.
struct HeadlessOptions {
    bool upgrade = false;
    // COM names, device paths or USB selectors (see PortSelector), each upgraded at
    // once; with `station`, filters on the adapters it takes.
    std::vector<std::string> ports;
    std::chrono::seconds timeout{60};
    bool fromBootloader = false;
    bool json = false;
    std::string tracePath;
    std::string firmwarePath; // empty: the built-in image
    std::string firmwareVersion;
    // Refuse the image unless its SHA-256 is this (lower-case hex).
    std::string expectSha256;
    // The raw image a fleet's parent pinned for its units; --firmware then
    // only names the file it came from.
    std::string pinnedFirmwarePath;
    bool quiet = false;
    // One port's upgrade run by the several-port mode (machine-read output).
    bool supervised = false;
    bool help = false;
    bool version = false;
    bool listPorts = false; // with `json` for machines
    // Upgrades every adapter as it is plugged in, until Ctrl-C.
    bool station = false;
    // The station shown in a window of tiles rather than as lines.
    bool window = false;
    std::string stationName; // in the log's records; empty: the host's name
    std::string logPath;     // JSON Lines, one record per unit, appended
    // After a lost line or a silence in the bootloader phase, wait for the
    // same adapter to come back and go on from its bootloader, this often.
    int retries = 0;
    // A device found silent but answering in its bootloader is upgraded from
    // there without asking (the station's and --retries' way).
    bool recoverBootloader = false;
    // The job file that fixes what runs (see ApplyJob).
    std::string jobPath;
    // The job's name and its file's SHA-256, for every record; a fleet's
    // parent hands them to its units, which never read the job again.
    std::string jobName;
    std::string jobSha256;
    // A program run for each unit once its record is written, and how long
    // it may take (see HookProgram); run by the parent, never by a unit's
    // process.
    std::string onUnit;
    std::chrono::seconds onUnitTimeout{30};
    // The options the command line gave ("--port", ...), for a job's lock.
    std::vector<std::string> given;
};

} // namespace dedarida
