#pragma once

#include "image/block_reader.h"
#include "image/flash_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

inline constexpr std::size_t ReadBufferSize = 0x16000;
using TReadBuffer = std::array<std::uint8_t, ReadBufferSize>;

// A walker of one record format: takes text in chunks of any size.
class RecordText {
public:
    virtual void Feed(std::span<const std::uint8_t> Text) = 0;
    // The end of the text.
    virtual void Finish() = 0;

protected:
    RecordText() = default;
    RecordText(const RecordText&) = default;
    RecordText& operator=(const RecordText&) = default;
    ~RecordText() = default;
};

// Reopens File from its start, fills FlashImage with 0xFF and gives the whole
// file to Walker (which stores into FlashImage), reading through ReadBuffer
// in chunks of at most ReadBufferSize bytes. False when the file cannot be
// reopened: FlashImage is unchanged and Walker is given nothing. Read errors,
// and a file that gives fewer bytes than its size, raise EInOutError.
bool LoadRecordFile(BlockReader& File, TReadBuffer& ReadBuffer, TFlashImage& FlashImage,
                    RecordText& Walker);

} // namespace dedarida
