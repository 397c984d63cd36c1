#include "image/srecord_findings.h"

#include <array>

namespace dedarida {

namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* FlawText(SRecordFlaw flaw) {
    switch (flaw) {
    case SRecordFlaw::NotARecord:
        return "not an S-record (a record starts with S and its type digit)";
    case SRecordFlaw::TooShort:
        return "too short for a record";
    case SRecordFlaw::UnknownType:
        return "unknown record type (S0-S3 and S5-S9 are known)";
    case SRecordFlaw::Overlong:
        return "longer than the longest record (514 characters)";
    case SRecordFlaw::BlankInside:
        return "a blank inside the record";
    case SRecordFlaw::LowerCaseHex:
        return "lower-case hex digits (fields must be upper-case hex)";
    case SRecordFlaw::NotHex:
        return "a character that is no hex digit";
    case SRecordFlaw::CountMismatch:
        return "the record's length does not match its count field";
    case SRecordFlaw::CountTooSmall:
        return "the count field leaves no room for the address and checksum";
    }
    return "malformed";
}

std::string MalformedReason(const SRecordFindings& found) {
    const std::size_t lines = found.Malformed.Count;
    return FlawText(found.FirstFlaw) +
           (lines > 1 ? "; " + std::to_string(lines) + " lines are malformed" : std::string());
}

std::string ChecksumReason(const SRecordFindings& found) {
    return Counted(found.BadChecksums.Count, "record has", "records have") + " a wrong checksum";
}

std::string OutsideReason(const SRecordFindings& found) {
    return Counted(found.Outside.Count, "data byte lies", "data bytes lie") +
           " outside 0x0E8800-0x0FDFFF";
}

std::string OverlapReason(const SRecordFindings& found) {
    return Counted(found.Overlaps.Count, "data byte overlaps", "data bytes overlap") +
           " earlier data with a different value";
}

std::string CountReason(const SRecordFindings& found) {
    return "the record count says " + std::to_string(found.StatedCount) + ", " +
           Counted(found.CountedRecords, "data record comes", "data records come") + " before it";
}

struct FaultKind {
    SRecordFault SRecordFindings::*fault;
    std::string (*reason)(const SRecordFindings&);
};

// On the same line the first kind listed is named.
constexpr std::array<FaultKind, 5> FaultKinds{{
    {&SRecordFindings::Malformed, MalformedReason},
    {&SRecordFindings::BadChecksums, ChecksumReason},
    {&SRecordFindings::Outside, OutsideReason},
    {&SRecordFindings::Overlaps, OverlapReason},
    {&SRecordFindings::CountMismatches, CountReason},
}};

} // namespace

void SRecordFault::Note(std::size_t line, std::size_t count) {
    if (Count == 0)
        FirstLine = line;
    Count += count;
}

std::string SRecordRefusal(const SRecordFindings& Found) {
    const FaultKind* first = nullptr;
    for (const FaultKind& kind : FaultKinds) {
        const SRecordFault& fault = Found.*kind.fault;
        if (fault.Count != 0 &&
            (first == nullptr || fault.FirstLine < (Found.*first->fault).FirstLine))
            first = &kind;
    }
    if (first != nullptr)
        return "line " + std::to_string((Found.*first->fault).FirstLine) + ": " +
               first->reason(Found);
    if (Found.SentBytesCovered == 0)
        return "holds no data";
    return {};
}

} // namespace dedarida
