#include "image/srecord_loader.h"

#include "image/in_out_error.h"
#include "image/srecord_walker.h"

#include <algorithm>
#include <cerrno>

namespace dedarida {

SRecordLoad LoadSRecordFile(BlockReader& SRecordFile, TReadBuffer& ReadBuffer,
                            TFlashImage& FlashImage) {
    try {
        SRecordFile.OpenRead();
    } catch (const EInOutError&) {
        return {};
    }
    FlashImage.fill(0xFF);
    SRecordWalker walker(FlashImage);
    const std::uint64_t size = SRecordFile.FileSize();
    for (std::uint64_t walked = 0; walked < size;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - walked, ReadBuffer.size()));
        // A file cut short while being read would pass for a shorter file.
        if (SRecordFile.BlockRead(std::span(ReadBuffer.data(), chunk)) != chunk)
            throw EInOutError(EIO);
        walker.Feed(std::span(ReadBuffer.data(), chunk));
        walked += chunk;
    }
    walker.Finish();
    return {true, walker.Findings()};
}

} // namespace dedarida
