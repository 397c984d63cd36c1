#include "image/srecord_walker.h"

namespace dedarida {

namespace {

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte a pair stands for, or -1 when either character is no hex digit.
int PairValue(std::uint8_t first, std::uint8_t second) {
    const int high = HexDigit(first);
    const int low = HexDigit(second);
    if (high < 0 || low < 0)
        return -1;
    return high * 16 + low;
}

} // namespace

void SRecordWalker::Feed(std::span<const std::uint8_t> Text) {
    std::size_t i = 0;
    if (halfPair_ && !Text.empty()) {
        halfPair_ = false;
        Pair(firstOfPair_, Text[0]);
        i = 1;
    }
    for (; i + 1 < Text.size(); i += 2)
        Pair(Text[i], Text[i + 1]);
    if (i < Text.size()) {
        halfPair_ = true;
        firstOfPair_ = Text[i];
    }
}

void SRecordWalker::Pair(std::uint8_t first, std::uint8_t second) {
    switch (step_) {
    case Step::Scan:
        if (first == 'S')
            StartRecord(second);
        break;
    case Step::Count: {
        const int count = PairValue(first, second);
        if (count < 0) {
            // Without a count the record has no known end: look for the next one.
            ++rejected_;
            step_ = Step::Scan;
        } else {
            left_ = static_cast<unsigned>(count);
            step_ = left_ == 0 ? Step::LineEnd : Step::Bytes;
        }
        break;
    }
    case Step::Bytes:
        RecordByte(PairValue(first, second));
        break;
    case Step::LineEnd:
        step_ = Step::Scan;
        break;
    }
}

void SRecordWalker::StartRecord(std::uint8_t type) {
    dataRecord_ = type == '2' || type == '3' || type == '4';
    addressBytes_ = type == '3' ? 4 : 3;
    wellFormed_ = true;
    addressRead_ = 0;
    address_ = 0;
    dataCount_ = 0;
    step_ = Step::Count;
}

void SRecordWalker::RecordByte(int value) {
    if (value < 0)
        wellFormed_ = false;
    const auto byte = static_cast<std::uint8_t>(value);
    if (addressRead_ < addressBytes_) {
        address_ = address_ << 8 | byte;
        ++addressRead_;
    } else if (left_ > 1) {
        data_[dataCount_++] = byte;
    }
    if (--left_ == 0)
        EndRecord();
}

void SRecordWalker::Finish() {
    if (step_ == Step::Bytes)
        StoreRecord();
    step_ = Step::Scan;
    halfPair_ = false;
}

void SRecordWalker::EndRecord() {
    step_ = Step::LineEnd;
    StoreRecord();
}

void SRecordWalker::StoreRecord() {
    if (!wellFormed_) {
        ++rejected_;
        return;
    }
    if (!dataRecord_)
        return;
    const std::int64_t start = static_cast<std::int64_t>(address_) - AddressOffset;
    for (std::size_t k = 0; k < dataCount_; ++k) {
        const std::int64_t index = start + static_cast<std::int64_t>(k);
        if (index >= 0 && index < static_cast<std::int64_t>(FlashImageSize))
            image_[static_cast<std::size_t>(index)] = data_[k];
        else
            ++outOfRange_;
    }
}

} // namespace dedarida
