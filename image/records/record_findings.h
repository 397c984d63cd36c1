#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace dedarida {

// How many of one kind of fault a walk met, and the 1-based line of the first.
struct RecordFault {
    std::size_t Count = 0;
    std::size_t FirstLine = 0;

    void Note(std::size_t line, std::size_t count = 1);
    bool operator==(const RecordFault&) const = default;
};

// What a walk of record text found besides the data it stored, in any format.
struct RecordFindings {
    RecordFault Malformed;    // lines
    RecordFault BadChecksums; // records
    // Data bytes outside the TxSize bytes sent, and bytes set again with
    // another value.
    RecordFault Outside;
    RecordFault Overlaps;

    std::uint32_t DataRecords = 0;
    // Distinct bytes set inside the TxSize bytes sent.
    std::size_t SentBytesCovered = 0;

    bool operator==(const RecordFindings&) const = default;
};

// A fault only one format has, and how a refusal names it.
struct FormatFault {
    const RecordFault& Fault;
    std::string Reason;
};

// Why a file with these findings must not be sent: "line N: " and the reason
// for the fault on the earliest line, or "holds no data"; empty when the file
// is fit to send. On one line the first of these is named: a malformed line
// (FlawText says why the first is), a wrong checksum, data outside, an
// overlap, then the format's faults in the order given.
std::string RecordRefusal(const RecordFindings& Found, const char* FlawText,
                          std::initializer_list<FormatFault> FormatFaults);

} // namespace dedarida
