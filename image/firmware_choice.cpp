#include "image/firmware_choice.h"

#include "image/in_out_error.h"
#include "image/srecord_loader.h"
#include "image/untyped_file.h"
#include "unicode/ascii_case.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace dedarida {

namespace {

FirmwareImage LoadRaw(UntypedFile& file) {
    FirmwareImage image;
    file.OpenRead();
    const std::uint64_t size = file.FileSize();
    if (size != TxSize)
        throw EFirmwareRefused(file.Name() + ": " + std::to_string(size) +
                               " bytes; a raw image must be exactly " + std::to_string(TxSize) +
                               " bytes (S-record files end in .s .mot .s19 .s28 .s37 .srec)");
    if (file.BlockRead(image.Bytes) != image.Bytes.size())
        throw EFirmwareRefused(file.Name() + ": shorter than its size while being read");
    image.BytesCovered = TxSize;
    return image;
}

// Raises EFirmwareRefused also for the I/O errors of `load`.
template <class Load> FirmwareImage Refusing(const std::string& fileName, Load load) {
    try {
        return load();
    } catch (const EInOutError& failure) {
        // The system's words, not its number: "Is a directory", "Permission denied".
        throw EFirmwareRefused(
            fileName + ": cannot be read: " + std::generic_category().message(failure.ErrorCode()));
    }
}

} // namespace

bool IsSRecordFileName(const std::string& FileName) {
    const std::string name = AsciiLower(FileName);
    for (const char* extension : {".s", ".mot", ".s19", ".s28", ".s37", ".srec"})
        if (name.ends_with(extension))
            return true;
    return false;
}

FirmwareImage LoadSRecordFirmware(BlockReader& File) {
    return Refusing(File.Name(), [&File] {
        auto buffer = std::make_unique<TReadBuffer>();
        auto flash = std::make_unique<TFlashImage>();
        const SRecordLoad load = LoadSRecordFile(File, *buffer, *flash);
        if (!load.Loaded)
            throw EFirmwareRefused(File.Name() + ": cannot be opened");
        if (const std::string refusal = SRecordRefusal(load.Found); !refusal.empty())
            throw EFirmwareRefused(File.Name() + ": " + refusal);
        FirmwareImage image;
        std::copy_n(flash->begin(), TxSize, image.Bytes.begin());
        image.BytesCovered = load.Found.SentBytesCovered;
        return image;
    });
}

FirmwareImage LoadFirmwareImage(const std::string& FileName) {
    UntypedFile file;
    file.Assign(FileName);
    if (IsSRecordFileName(FileName))
        return LoadSRecordFirmware(file);
    return Refusing(FileName, [&file] { return LoadRaw(file); });
}

} // namespace dedarida
