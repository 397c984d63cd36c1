#pragma once

#include "image/flash_image.h"
#include "image/untyped_file.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace dedarida {

inline constexpr std::size_t ReadBufferSize = 0x16000;
using TReadBuffer = std::array<std::uint8_t, ReadBufferSize>;

struct SRecordLoad {
    // False: the file could not be reopened and FlashImage is unchanged.
    bool Loaded = false;
    // Data bytes whose address lies outside FlashImage, dropped.
    std::size_t OutOfRangeBytes = 0;
    // Records with a character that is no upper-case hex digit, not stored.
    std::size_t RejectedRecords = 0;
    // Well-formed records whose checksum is wrong (stored all the same).
    std::size_t BadChecksums = 0;
    // Distinct bytes set inside the TxSize bytes sent, and past them.
    std::size_t SentBytesCovered = 0;
    std::size_t UnsentBytesCovered = 0;
};

// Reopens SRecordFile from its start, fills FlashImage with 0xFF and loads the
// file's S-records into it, reading through ReadBuffer in chunks of at most
// ReadBufferSize bytes. Read errors raise EInOutError.
SRecordLoad LoadSRecordFile(UntypedFile& SRecordFile, TReadBuffer& ReadBuffer,
                            TFlashImage& FlashImage);

} // namespace dedarida
