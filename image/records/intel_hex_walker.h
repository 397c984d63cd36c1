#pragma once

#include "image/flash_image.h"
#include "image/records/intel_hex_findings.h"
#include "image/records/record_file.h"
#include "image/records/record_lines.h"
#include "image/records/record_store.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace dedarida {

// Reads Intel HEX text line by line and stores the data of its data records
// (type 00) into a flash image, at the base the last extended segment (02)
// or extended linear (04) address record gave: under a segment base a
// record's offset wraps within its 64 KiB, under a linear one it carries on.
// Hex digits of either case. Lines end at CR, LF or CR LF, mixed as they
// come; blanks around a record and empty lines are allowed. Text may arrive
// in chunks of any size.
//
// A line that is no well-formed record is not stored. A well-formed record is
// stored even when its checksum is wrong, bytes addressed outside the image
// are dropped, and a byte set twice keeps the later value: all of these are
// only counted in Findings(), with the first line concerned, for the caller
// to judge. The start address records (03, 05) store nothing. The
// end-of-file record (01) ends the records: a line after it is only counted.
// Not thread-safe.
class IntelHexWalker final : public RecordText {
public:
    // ':', then the count, the two offset bytes, the type, at most 255 data
    // bytes and the checksum, in hex.
    static constexpr std::size_t MaxLineLength = 1 + 2 * (4 + 255 + 1);

    explicit IntelHexWalker(TFlashImage& FlashImage) : store_(FlashImage) {}

    void Feed(std::span<const std::uint8_t> Text) override;
    // The end of the text: takes a last line that has no line end.
    void Finish() override;

    const IntelHexFindings& Findings() const { return found_; }

private:
    void Line(const RecordLine& line);
    std::optional<IntelHexFlaw> Decode(const RecordLine& line);
    void Record(std::size_t lineNumber);

    RecordLines<MaxLineLength> lines_;
    RecordStore store_;
    // The decoded record: count, offset, type, data, checksum.
    std::array<std::uint8_t, 4 + 255 + 1> bytes_{};
    std::uint64_t base_ = 0;
    bool linearBase_ = false;
    IntelHexFindings found_;
};

} // namespace dedarida
