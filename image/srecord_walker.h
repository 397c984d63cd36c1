#pragma once

#include "image/flash_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

// Walks Motorola S-record text two characters at a time and stores the data
// of S2, S3 (four-byte address) and S4 (three-byte address) records into a
// flash image; other records and text between records are skipped. Text may
// arrive in chunks of any size, the walker keeps its place across them.
//
// A record is stored once its last byte has been read, and only if every
// field is upper-case hex; otherwise it counts as rejected. Checksums are not
// verified. Bytes addressed outside the image are dropped and counted. A
// record cut off by the end of the text keeps the data bytes read before the
// cut (see Finish); a trailing half pair is dropped. Not thread-safe.
class SRecordWalker {
public:
    explicit SRecordWalker(TFlashImage& FlashImage) : image_(FlashImage) {}

    void Feed(std::span<const std::uint8_t> Text);
    // The end of the text: stores the data bytes of a record cut off by it.
    void Finish();

    std::size_t OutOfRangeBytes() const { return outOfRange_; }
    std::size_t RejectedRecords() const { return rejected_; }

private:
    enum class Step { Scan, Count, Bytes, LineEnd };

    void Pair(std::uint8_t first, std::uint8_t second);
    void StartRecord(std::uint8_t type);
    void RecordByte(int value);
    void EndRecord();
    void StoreRecord();

    TFlashImage& image_;
    Step step_ = Step::Scan;
    bool halfPair_ = false;
    std::uint8_t firstOfPair_ = 0;

    bool dataRecord_ = false;
    bool wellFormed_ = true;
    unsigned addressBytes_ = 0;
    unsigned left_ = 0;
    unsigned addressRead_ = 0;
    std::uint32_t address_ = 0;
    // A record holds at most 255 bytes after its count.
    std::array<std::uint8_t, 255> data_{};
    std::size_t dataCount_ = 0;

    std::size_t outOfRange_ = 0;
    std::size_t rejected_ = 0;
};

} // namespace dedarida
