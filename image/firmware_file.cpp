#include "image/firmware_file.h"

#include "image/flash_dump.h"
#include "image/in_out_error.h"

namespace dedarida {

void FirmwareFile::Open(const std::string& FileName) {
    OpenedFileName_ = FileName;
    SRecordFile_.Assign(FileName);
    try {
        SRecordFile_.OpenRead();
    } catch (const EInOutError&) {
        SRecordFile_.CreateIfAbsent();
        SRecordFile_.OpenRead();
    }
}

SRecordLoad FirmwareFile::Load(TFlashImage& FlashImage) {
    return LoadSRecordFile(SRecordFile_, ReadBuffer_, FlashImage);
}

bool FirmwareFile::Save(const std::string& FileName, const TFlashImage& FlashImage) {
    if (FileName == OpenedFileName_) {
        SRecordFile_.Close();
        return false;
    }
    UntypedFile DumpFile;
    DumpFile.Assign(FileName);
    DumpFile.Create();
    WriteFlashDump(DumpFile, FlashImage);
    DumpFile.Close();
    return true;
}

} // namespace dedarida
