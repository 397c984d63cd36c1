#include "image/records/record_file.h"

#include "image/in_out_error.h"

#include <algorithm>
#include <cerrno>

namespace dedarida {

bool LoadRecordFile(BlockReader& File, TReadBuffer& ReadBuffer, TFlashImage& FlashImage,
                    RecordText& Walker) {
    try {
        File.OpenRead();
    } catch (const EInOutError&) {
        return false;
    }
    FlashImage.fill(0xFF);
    const std::uint64_t size = File.FileSize();
    for (std::uint64_t walked = 0; walked < size;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - walked, ReadBuffer.size()));
        // A file cut short while being read would pass for a shorter file.
        if (File.BlockRead(std::span(ReadBuffer.data(), chunk)) != chunk)
            throw EInOutError(EIO);
        Walker.Feed(std::span(ReadBuffer.data(), chunk));
        walked += chunk;
    }
    Walker.Finish();
    return true;
}

} // namespace dedarida
