#include "image/srecord_walker.h"

namespace dedarida {

namespace {

// Address bytes of each record type S0 ... S9; 0 for S4, which no producer
// writes and whose layout is not defined.
constexpr std::array<unsigned, 10> AddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool IsBlank(std::uint8_t c) {
    return c == ' ' || c == '\t';
}

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void SRecordWalker::Feed(std::span<const std::uint8_t> Text) {
    for (const std::uint8_t c : Text) {
        if (c == '\r') {
            EndLine();
            afterCr_ = true;
        } else if (c == '\n') {
            // The LF of a CR LF ends no second line.
            if (!afterCr_)
                EndLine();
            afterCr_ = false;
        } else {
            afterCr_ = false;
            Character(c);
        }
    }
}

void SRecordWalker::Finish() {
    if (length_ != 0)
        EndLine();
    afterCr_ = false;
}

void SRecordWalker::Character(std::uint8_t c) {
    if (IsBlank(c)) {
        blankPending_ = length_ != 0;
        return;
    }
    if (blankPending_)
        blankInside_ = true;
    blankPending_ = false;
    if (length_ == line_.size())
        overlong_ = true;
    else
        line_[length_++] = c;
}

void SRecordWalker::EndLine() {
    if (length_ != 0) {
        if (const auto flaw = Decode()) {
            if (found_.Malformed.Count == 0)
                found_.FirstFlaw = *flaw;
            found_.Malformed.Note(lineNumber_);
        } else {
            Record();
        }
    }
    ++lineNumber_;
    length_ = 0;
    blankPending_ = blankInside_ = overlong_ = false;
}

// Checks the line's form and decodes its hex fields into bytes_.
std::optional<SRecordFlaw> SRecordWalker::Decode() {
    if (line_[0] != 'S')
        return SRecordFlaw::NotARecord;
    if (length_ < 2)
        return SRecordFlaw::TooShort;
    const auto type = static_cast<unsigned>(line_[1] - '0');
    if (type >= AddressBytes.size() || AddressBytes[type] == 0)
        return SRecordFlaw::UnknownType;
    if (overlong_)
        return SRecordFlaw::Overlong;
    if (blankInside_)
        return SRecordFlaw::BlankInside;
    if (length_ < 4)
        return SRecordFlaw::TooShort;
    for (std::size_t i = 2; i < length_; ++i) {
        if (HexDigit(line_[i]) >= 0)
            continue;
        const bool lower = line_[i] >= 'a' && line_[i] <= 'f';
        return lower ? SRecordFlaw::LowerCaseHex : SRecordFlaw::NotHex;
    }
    const std::size_t count = HexDigit(line_[2]) * 16 + HexDigit(line_[3]);
    if (length_ != 4 + 2 * count)
        return SRecordFlaw::CountMismatch;
    if (count < AddressBytes[type] + 1)
        return SRecordFlaw::CountTooSmall;
    for (std::size_t k = 0; k <= count; ++k)
        bytes_[k] =
            static_cast<std::uint8_t>(HexDigit(line_[2 + 2 * k]) * 16 + HexDigit(line_[3 + 2 * k]));
    return std::nullopt;
}

void SRecordWalker::Record() {
    const auto type = static_cast<unsigned>(line_[1] - '0');
    const unsigned count = bytes_[0];
    unsigned sum = 0;
    for (unsigned k = 0; k <= count; ++k)
        sum += bytes_[k];
    if ((sum & 0xFF) != 0xFF)
        found_.BadChecksums.Note(lineNumber_);

    const unsigned width = AddressBytes[type];
    std::uint32_t address = 0;
    for (unsigned k = 1; k <= width; ++k)
        address = address << 8 | bytes_[k];
    switch (type) {
    case 1:
    case 2:
    case 3:
        ++found_.DataRecords;
        StoreData(static_cast<std::int64_t>(address) - AddressOffset,
                  std::span(bytes_).subspan(1 + width, count - width - 1));
        break;
    case 5:
    case 6:
        if (address != found_.DataRecords) {
            if (found_.CountMismatches.Count == 0) {
                found_.StatedCount = address;
                found_.CountedRecords = found_.DataRecords;
            }
            found_.CountMismatches.Note(lineNumber_);
        }
        break;
    default:
        // S0 header and S7-S9 end records: nothing to store.
        break;
    }
}

void SRecordWalker::StoreData(std::int64_t start, std::span<const std::uint8_t> data) {
    std::size_t outside = 0;
    std::size_t overlaps = 0;
    for (std::size_t k = 0; k < data.size(); ++k) {
        const std::int64_t index = start + static_cast<std::int64_t>(k);
        if (index < 0 || index >= TxSize)
            ++outside;
        if (index < 0 || index >= static_cast<std::int64_t>(FlashImageSize))
            continue;
        const auto at = static_cast<std::size_t>(index);
        if (!covered_.test(at)) {
            covered_.set(at);
            found_.SentBytesCovered += at < static_cast<std::size_t>(TxSize);
        } else if (image_[at] != data[k]) {
            ++overlaps;
        }
        image_[at] = data[k];
    }
    if (outside != 0)
        found_.Outside.Note(lineNumber_, outside);
    if (overlaps != 0)
        found_.Overlaps.Note(lineNumber_, overlaps);
}

} // namespace dedarida
