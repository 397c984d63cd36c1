#pragma once

#include "unit/progress_snapshot.h"

#include <chrono>
#include <string>

namespace dedarida {

// Where one unit's upgrade tells what it shows; a front draws it (lines on
// a terminal, a file or a pipe, or what a fleet's parent reads). Called on
// the upgrade's main thread.
class UnitOutput {
public:
    virtual ~UnitOutput() = default;

    // A status change, message or error ("status: ..."): a line of its own.
    virtual void Event(const std::string& line) = 0;
    virtual void Update(const ProgressSnapshot& snapshot) = 0;
    // The upgrade's last line.
    virtual void Result(const std::string& line) = 0;
    // "dedarida: ..." for standard error, in order with the rest.
    virtual void Diagnostic(const std::string& line) = 0;
    // The device the unit is on now: once its port is known, and again when
    // it comes back under another name.
    virtual void Place(const std::string& device) = 0;
    // The unit's line went: it waits at most `window` for the device to
    // come back.
    virtual void Waiting(std::chrono::seconds window) = 0;
    // The unit's JSON record (--json, or for a fleet's parent); the reason
    // it could not be written, or empty.
    virtual std::string Record(const std::string& json) = 0;
};

} // namespace dedarida
