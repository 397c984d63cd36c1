#pragma once

#include "image/block_reader.h"
#include "image/flash_image.h"
#include "image/srecord_findings.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace dedarida {

inline constexpr std::size_t ReadBufferSize = 0x16000;
using TReadBuffer = std::array<std::uint8_t, ReadBufferSize>;

struct SRecordLoad {
    // False: the file could not be reopened and FlashImage is unchanged.
    bool Loaded = false;
    SRecordFindings Found;
};

// Reopens SRecordFile from its start, fills FlashImage with 0xFF and loads the
// file's S-records into it, reading through ReadBuffer in chunks of at most
// ReadBufferSize bytes. Read errors, and a file that gives fewer bytes than
// its size, raise EInOutError.
SRecordLoad LoadSRecordFile(BlockReader& SRecordFile, TReadBuffer& ReadBuffer,
                            TFlashImage& FlashImage);

} // namespace dedarida
