#pragma once

#include "image/flash_image.h"
#include "image/records/record_file.h"
#include "image/records/record_lines.h"
#include "image/records/record_store.h"
#include "image/records/srecord_findings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace dedarida {

// Reads Motorola S-record text line by line and stores the data of S1, S2
// and S3 records (two-, three- and four-byte addresses) into a flash image.
// Lines end at CR, LF or CR LF, mixed as they come; blanks around a record
// and empty lines are allowed. Text may arrive in chunks of any size.
//
// A line that is no well-formed record is not stored. A well-formed record is
// stored even when its checksum is wrong, bytes addressed outside the image
// are dropped, and a byte set twice keeps the later value: all of these are
// only counted in Findings(), with the first line concerned, for the caller
// to judge. S0 and the end records S7-S9 store nothing; S5/S6 counts are
// checked against the data records before them. Not thread-safe.
class SRecordWalker final : public RecordText {
public:
    // "S", the type, then at most 255 bytes after the count byte, in hex.
    static constexpr std::size_t MaxLineLength = 2 + 2 * 256;

    explicit SRecordWalker(TFlashImage& FlashImage) : store_(FlashImage) {}

    void Feed(std::span<const std::uint8_t> Text) override;
    // The end of the text: takes a last line that has no line end.
    void Finish() override;

    const SRecordFindings& Findings() const { return found_; }

private:
    void Line(const RecordLine& line);
    std::optional<SRecordFlaw> Decode(const RecordLine& line);
    void Record(const RecordLine& line);

    RecordLines<MaxLineLength> lines_;
    RecordStore store_;
    // The decoded record: count, address, data, checksum.
    std::array<std::uint8_t, 256> bytes_{};
    SRecordFindings found_;
};

} // namespace dedarida
