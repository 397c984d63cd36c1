#include "image/records/srecord_walker.h"

namespace dedarida {

namespace {

// Address bytes of each record type S0 ... S9; 0 for S4, which no producer
// writes and whose layout is not defined.
constexpr std::array<unsigned, 10> AddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void SRecordWalker::Feed(std::span<const std::uint8_t> Text) {
    lines_.Feed(Text, [this](const RecordLine& line) { Line(line); });
}

void SRecordWalker::Finish() {
    lines_.Finish([this](const RecordLine& line) { Line(line); });
}

void SRecordWalker::Line(const RecordLine& line) {
    if (const auto flaw = Decode(line)) {
        if (found_.Malformed.Count == 0)
            found_.FirstFlaw = *flaw;
        found_.Malformed.Note(line.Number);
    } else {
        Record(line);
    }
}

// Checks the line's form and decodes its hex fields into bytes_.
std::optional<SRecordFlaw> SRecordWalker::Decode(const RecordLine& line) {
    const std::span<const std::uint8_t> text = line.Text;
    if (text[0] != 'S')
        return SRecordFlaw::NotARecord;
    if (text.size() < 2)
        return SRecordFlaw::TooShort;
    const auto type = static_cast<unsigned>(text[1] - '0');
    if (type >= AddressBytes.size() || AddressBytes[type] == 0)
        return SRecordFlaw::UnknownType;
    if (line.Overlong)
        return SRecordFlaw::Overlong;
    if (line.BlankInside)
        return SRecordFlaw::BlankInside;
    if (text.size() < 4)
        return SRecordFlaw::TooShort;
    for (std::size_t i = 2; i < text.size(); ++i) {
        if (HexDigit(text[i]) >= 0)
            continue;
        const bool lower = text[i] >= 'a' && text[i] <= 'f';
        return lower ? SRecordFlaw::LowerCaseHex : SRecordFlaw::NotHex;
    }
    const std::size_t count = HexDigit(text[2]) * 16 + HexDigit(text[3]);
    if (text.size() != 4 + 2 * count)
        return SRecordFlaw::CountMismatch;
    if (count < AddressBytes[type] + 1)
        return SRecordFlaw::CountTooSmall;
    for (std::size_t k = 0; k <= count; ++k)
        bytes_[k] =
            static_cast<std::uint8_t>(HexDigit(text[2 + 2 * k]) * 16 + HexDigit(text[3 + 2 * k]));
    return std::nullopt;
}

void SRecordWalker::Record(const RecordLine& line) {
    const auto type = static_cast<unsigned>(line.Text[1] - '0');
    const unsigned count = bytes_[0];
    unsigned sum = 0;
    for (unsigned k = 0; k <= count; ++k)
        sum += bytes_[k];
    if ((sum & 0xFF) != 0xFF)
        found_.BadChecksums.Note(line.Number);

    const unsigned width = AddressBytes[type];
    std::uint32_t address = 0;
    for (unsigned k = 1; k <= width; ++k)
        address = address << 8 | bytes_[k];
    switch (type) {
    case 1:
    case 2:
    case 3:
        ++found_.DataRecords;
        store_.Store(address, std::span(bytes_).subspan(1 + width, count - width - 1), line.Number,
                     found_);
        break;
    case 5:
    case 6:
        if (address != found_.DataRecords) {
            if (found_.CountMismatches.Count == 0) {
                found_.StatedCount = address;
                found_.CountedRecords = found_.DataRecords;
            }
            found_.CountMismatches.Note(line.Number);
        }
        break;
    default:
        // S0 header and S7-S9 end records: nothing to store.
        break;
    }
}

} // namespace dedarida
