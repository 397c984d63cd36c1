#include "image/records/intel_hex_walker.h"

#include <algorithm>

namespace dedarida {

namespace {

// Where each field of a decoded record is.
constexpr std::size_t CountOf = 0, OffsetOf = 1, TypeOf = 3, DataOf = 4;
// The bytes around the data: count, offset, type and checksum.
constexpr std::size_t Framing = 5;

enum RecordType : std::uint8_t {
    DataRecord = 0x00,
    EndOfFileRecord = 0x01,
    SegmentBaseRecord = 0x02,
    LinearBaseRecord = 0x04,
};
// The byte count each type must have, 00 taking any.
constexpr std::array<int, 6> RequiredCount = {-1, 0, 2, 4, 2, 4};

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

void IntelHexWalker::Feed(std::span<const std::uint8_t> Text) {
    lines_.Feed(Text, [this](const RecordLine& line) { Line(line); });
}

void IntelHexWalker::Finish() {
    lines_.Finish([this](const RecordLine& line) { Line(line); });
}

void IntelHexWalker::Line(const RecordLine& line) {
    if (found_.Ended) {
        found_.AfterEnd.Note(line.Number);
    } else if (const auto flaw = Decode(line)) {
        if (found_.Malformed.Count == 0)
            found_.FirstFlaw = *flaw;
        found_.Malformed.Note(line.Number);
    } else {
        Record(line.Number);
    }
}

// Checks the line's form and decodes its hex fields into bytes_.
std::optional<IntelHexFlaw> IntelHexWalker::Decode(const RecordLine& line) {
    if (line.Text[0] != ':')
        return IntelHexFlaw::NotARecord;
    if (line.Overlong)
        return IntelHexFlaw::Overlong;
    if (line.BlankInside)
        return IntelHexFlaw::BlankInside;
    const std::span<const std::uint8_t> digits = line.Text.subspan(1);
    if (!std::all_of(digits.begin(), digits.end(), [](std::uint8_t c) { return HexDigit(c) >= 0; }))
        return IntelHexFlaw::NotHex;
    if (digits.size() < 2 * Framing)
        return IntelHexFlaw::TooShort;
    if (digits.size() % 2 != 0)
        return IntelHexFlaw::OddDigits;
    const std::size_t length = digits.size() / 2;
    for (std::size_t k = 0; k < length; ++k)
        bytes_[k] =
            static_cast<std::uint8_t>(HexDigit(digits[2 * k]) * 16 + HexDigit(digits[2 * k + 1]));
    const std::size_t count = bytes_[CountOf];
    const std::size_t type = bytes_[TypeOf];
    if (type >= RequiredCount.size())
        return IntelHexFlaw::UnknownType;
    if (length != Framing + count)
        return IntelHexFlaw::CountMismatch;
    if (RequiredCount[type] >= 0 && static_cast<std::size_t>(RequiredCount[type]) != count)
        return IntelHexFlaw::CountForType;
    return std::nullopt;
}

void IntelHexWalker::Record(std::size_t lineNumber) {
    const std::size_t count = bytes_[CountOf];
    unsigned sum = 0;
    for (std::size_t k = 0; k < Framing + count; ++k)
        sum += bytes_[k];
    if ((sum & 0xFF) != 0)
        found_.BadChecksums.Note(lineNumber);

    const std::span<const std::uint8_t> data = std::span(bytes_).subspan(DataOf, count);
    const unsigned offset = bytes_[OffsetOf] << 8 | bytes_[OffsetOf + 1];
    switch (bytes_[TypeOf]) {
    case DataRecord: {
        ++found_.DataRecords;
        // Past the segment's end the offset wraps to its start.
        const std::size_t inSegment =
            linearBase_ ? count : std::min<std::size_t>(count, 0x10000 - offset);
        store_.Store(base_ + offset, data.first(inSegment), lineNumber, found_);
        store_.Store(base_, data.subspan(inSegment), lineNumber, found_);
        break;
    }
    case EndOfFileRecord:
        found_.Ended = true;
        break;
    case SegmentBaseRecord:
        base_ = static_cast<std::uint64_t>(data[0] << 8 | data[1]) << 4;
        linearBase_ = false;
        break;
    case LinearBaseRecord:
        base_ = static_cast<std::uint64_t>(data[0] << 8 | data[1]) << 16;
        linearBase_ = true;
        break;
    default:
        // The start addresses (03, 05): nothing to store.
        break;
    }
}

} // namespace dedarida
