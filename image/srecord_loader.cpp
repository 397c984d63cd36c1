#include "image/srecord_loader.h"

#include "image/in_out_error.h"
#include "image/srecord_walker.h"

#include <algorithm>

namespace dedarida {

SRecordLoad LoadSRecordFile(UntypedFile& SRecordFile, TReadBuffer& ReadBuffer,
                            TFlashImage& FlashImage) {
    try {
        SRecordFile.OpenRead();
    } catch (const EInOutError&) {
        return {};
    }
    FlashImage.fill(0xFF);
    SRecordWalker walker(FlashImage);
    const std::uint64_t size = SRecordFile.FileSize();
    std::uint64_t walked = 0;
    while (walked < size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - walked, ReadBuffer.size()));
        const std::size_t got = SRecordFile.BlockRead(std::span(ReadBuffer.data(), chunk));
        // A file that shrank while being read ends where its data ends.
        if (got == 0)
            break;
        walker.Feed(std::span(ReadBuffer.data(), got));
        walked += got;
    }
    walker.Finish();
    return {true, walker.OutOfRangeBytes(), walker.RejectedRecords()};
}

} // namespace dedarida
