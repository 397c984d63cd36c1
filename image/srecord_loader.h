#pragma once

#include "image/block_reader.h"
#include "image/flash_image.h"
#include "image/records/record_file.h"
#include "image/records/srecord_findings.h"

namespace dedarida {

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
