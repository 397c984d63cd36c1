#pragma once

#include "image/records/record_findings.h"

#include <cstdint>
#include <string>

namespace dedarida {

// Why a line is no well-formed Intel HEX record.
enum class IntelHexFlaw : std::uint8_t {
    NotARecord,
    Overlong,
    BlankInside,
    NotHex,
    TooShort,
    OddDigits,
    CountMismatch,
    UnknownType,
    CountForType,
};

// What an Intel HEX walk found besides the data it stored.
struct IntelHexFindings : RecordFindings {
    IntelHexFlaw FirstFlaw = IntelHexFlaw::NotARecord;
    // Lines after the end-of-file record other than blank ones.
    RecordFault AfterEnd;
    bool Ended = false; // an end-of-file record came

    bool operator==(const IntelHexFindings&) const = default;
};

// Why a file with these findings must not be sent, as RecordRefusal says it,
// lines after the end-of-file record named last; without a line fault a file
// that holds data but no end-of-file record is refused too (it may have been
// cut short). Empty when the file is fit to send.
std::string IntelHexRefusal(const IntelHexFindings& Found);

} // namespace dedarida
