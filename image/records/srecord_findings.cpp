#include "image/records/srecord_findings.h"

namespace dedarida {

namespace {

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

std::string CountReason(const SRecordFindings& found) {
    return "the record count says " + std::to_string(found.StatedCount) + ", " +
           std::to_string(found.CountedRecords) +
           (found.CountedRecords == 1 ? " data record comes" : " data records come") + " before it";
}

} // namespace

std::string SRecordRefusal(const SRecordFindings& Found) {
    return RecordRefusal(Found, FlawText(Found.FirstFlaw),
                         {{Found.CountMismatches, CountReason(Found)}});
}

} // namespace dedarida
