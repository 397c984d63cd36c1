#include "image/records/intel_hex_findings.h"

namespace dedarida {

namespace {

const char* FlawText(IntelHexFlaw flaw) {
    switch (flaw) {
    case IntelHexFlaw::NotARecord:
        return "not an Intel HEX record (a record starts with ':')";
    case IntelHexFlaw::Overlong:
        return "longer than the longest record (521 characters)";
    case IntelHexFlaw::BlankInside:
        return "a blank inside the record";
    case IntelHexFlaw::NotHex:
        return "a character that is no hex digit";
    case IntelHexFlaw::TooShort:
        return "too short for a record";
    case IntelHexFlaw::OddDigits:
        return "an odd number of hex digits";
    case IntelHexFlaw::CountMismatch:
        return "the record's length does not match its byte count";
    case IntelHexFlaw::UnknownType:
        return "unknown record type (00-05 are known)";
    case IntelHexFlaw::CountForType:
        return "the byte count does not fit the record type (01: 0, 02 and 04: 2, 03 and 05: "
               "4)";
    }
    return "malformed";
}

std::string AfterEndReason(const IntelHexFindings& found) {
    const std::size_t lines = found.AfterEnd.Count;
    return std::to_string(lines) + (lines == 1 ? " line follows" : " lines follow") +
           " the end-of-file record";
}

} // namespace

std::string IntelHexRefusal(const IntelHexFindings& Found) {
    std::string refusal =
        RecordRefusal(Found, FlawText(Found.FirstFlaw), {{Found.AfterEnd, AfterEndReason(Found)}});
    if (refusal.empty() && !Found.Ended)
        return "has no end-of-file record (:00000001FF): it may have been cut short";
    return refusal;
}

} // namespace dedarida
