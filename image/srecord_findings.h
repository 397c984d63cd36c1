#pragma once

#include <cstddef>
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

// How many of one kind of fault a walk met, and the 1-based line of the first.
struct SRecordFault {
    std::size_t Count = 0;
    std::size_t FirstLine = 0;

    void Note(std::size_t line, std::size_t count = 1);
    bool operator==(const SRecordFault&) const = default;
};

// What an S-record walk found besides the data it stored.
struct SRecordFindings {
    SRecordFault Malformed; // lines
    SRecordFlaw FirstFlaw = SRecordFlaw::NotARecord;
    SRecordFault BadChecksums; // records
    // Data bytes outside the TxSize bytes sent, and bytes set again with
    // another value.
    SRecordFault Outside;
    SRecordFault Overlaps;
    // S5/S6 records whose count differs from the data records before them;
    // the numbers are those of the first.
    SRecordFault CountMismatches;
    std::uint32_t StatedCount = 0;
    std::uint32_t CountedRecords = 0;

    std::uint32_t DataRecords = 0;
    // Distinct bytes set inside the TxSize bytes sent.
    std::size_t SentBytesCovered = 0;

    bool operator==(const SRecordFindings&) const = default;
};

// Why a file with these findings must not be sent: "line N: " and the reason
// for the fault on the earliest line, or "holds no data"; empty when the file
// is fit to send.
std::string SRecordRefusal(const SRecordFindings& Found);

} // namespace dedarida
