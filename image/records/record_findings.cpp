#include "image/records/record_findings.h"

namespace dedarida {

namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

void RecordFault::Note(std::size_t line, std::size_t count) {
    if (Count == 0)
        FirstLine = line;
    Count += count;
}

std::string RecordRefusal(const RecordFindings& Found, const char* FlawText,
                          std::initializer_list<FormatFault> FormatFaults) {
    const std::size_t malformed = Found.Malformed.Count;
    const FormatFault common[] = {
        {Found.Malformed,
         FlawText + (malformed > 1 ? "; " + std::to_string(malformed) + " lines are malformed"
                                   : std::string())},
        {Found.BadChecksums,
         Counted(Found.BadChecksums.Count, "record has", "records have") + " a wrong checksum"},
        {Found.Outside, Counted(Found.Outside.Count, "data byte lies", "data bytes lie") +
                            " outside 0x0E8800-0x0FDFFF"},
        {Found.Overlaps, Counted(Found.Overlaps.Count, "data byte overlaps", "data bytes overlap") +
                             " earlier data with a different value"},
    };
    const FormatFault* first = nullptr;
    const auto consider = [&first](const FormatFault& kind) {
        if (kind.Fault.Count != 0 &&
            (first == nullptr || kind.Fault.FirstLine < first->Fault.FirstLine))
            first = &kind;
    };
    for (const FormatFault& kind : common)
        consider(kind);
    for (const FormatFault& kind : FormatFaults)
        consider(kind);
    if (first != nullptr)
        return "line " + std::to_string(first->Fault.FirstLine) + ": " + first->Reason;
    if (Found.SentBytesCovered == 0)
        return "holds no data";
    return {};
}

} // namespace dedarida
