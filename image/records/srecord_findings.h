#pragma once

#include "image/records/record_findings.h"

#include <cstdint>
#include <string>

namespace dedarida {

// Why a line is no well-formed S-record.
enum class SRecordFlaw : std::uint8_t {
    NotARecord,
    TooShort,
    UnknownType,
    Overlong,
    BlankInside,
    LowerCaseHex,
    NotHex,
    CountMismatch,
    CountTooSmall,
};

// What an S-record walk found besides the data it stored.
struct SRecordFindings : RecordFindings {
    SRecordFlaw FirstFlaw = SRecordFlaw::NotARecord;
    // S5/S6 records whose count differs from the data records before them;
    // the numbers are those of the first.
    RecordFault CountMismatches;
    std::uint32_t StatedCount = 0;
    std::uint32_t CountedRecords = 0;

    bool operator==(const SRecordFindings&) const = default;
};

// Why a file with these findings must not be sent, as RecordRefusal says it,
// a record count that does not match named last; empty when the file is fit
// to send.
std::string SRecordRefusal(const SRecordFindings& Found);

} // namespace dedarida
