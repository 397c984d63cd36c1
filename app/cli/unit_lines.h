#pragma once

#include "app/cli/progress_output.h"
#include "unit/unit_output.h"

namespace dedarida {

// One unit's upgrade drawn as lines (row 0 of `output`): for a person, or,
// in the supervised style, for a fleet's parent, which also gets the device
// the unit is on and how long it waits for it to come back. The record goes
// to standard output when `printRecord` holds, and is kept for an --on-unit
// program.
class UnitLines : public UnitOutput {
public:
    UnitLines(ProgressOutput& output, bool printRecord)
        : output_(output), printRecord_(printRecord) {}

    void Event(const std::string& line) override { output_.Event(0, line); }
    void Update(const ProgressSnapshot& snapshot) override { output_.Update(0, snapshot); }
    void Result(const std::string& line) override { output_.Result(0, line); }
    void Diagnostic(const std::string& line) override { output_.Diagnostic(line); }
    void Place(const std::string& device) override;
    void Waiting(std::chrono::seconds window) override;
    std::string Record(const std::string& json) override;
    // The last record made, or empty.
    const std::string& Record() const { return record_; }

private:
    ProgressOutput& output_;
    const bool printRecord_;
    std::string record_;
};

} // namespace dedarida
