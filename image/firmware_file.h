#pragma once

#include "image/flash_image.h"
#include "image/srecord_loader.h"
#include "image/untyped_file.h"

#include <string>

namespace dedarida {

// The file side of the File menu: the chosen S-record file, kept open between
// commands, its loading and the text dump. Failures raise EInOutError.
// Holds the 90 KB read buffer inline. Main thread only.
class FirmwareFile {
public:
    // Remembers FileName and opens it for reading, creating it empty first
    // when it cannot be opened (an existing file is never truncated).
    void Open(const std::string& FileName);
    // Loads the file last opened (reopened from its start) into FlashImage.
    SRecordLoad Load(TFlashImage& FlashImage);
    // Under the opened file's name: closes that file and writes nothing
    // (raising when it is not open), returns false. Otherwise writes the dump
    // of FlashImage to FileName and returns true.
    bool Save(const std::string& FileName, const TFlashImage& FlashImage);

    const std::string& OpenedFileName() const { return OpenedFileName_; }

private:
    UntypedFile SRecordFile_;
    std::string OpenedFileName_;
    TReadBuffer ReadBuffer_{};
};

} // namespace dedarida
