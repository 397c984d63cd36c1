#include "image/srecord_loader.h"

#include "image/records/srecord_walker.h"

namespace dedarida {

SRecordLoad LoadSRecordFile(BlockReader& SRecordFile, TReadBuffer& ReadBuffer,
                            TFlashImage& FlashImage) {
    SRecordWalker walker(FlashImage);
    if (!LoadRecordFile(SRecordFile, ReadBuffer, FlashImage, walker))
        return {};
    return {true, walker.Findings()};
}

} // namespace dedarida
