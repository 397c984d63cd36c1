#include "image/firmware_choice.h"

#include "image/in_out_error.h"
#include "image/records/intel_hex_walker.h"
#include "image/records/srecord_walker.h"
#include "image/untyped_file.h"
#include "text/ascii_case.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <system_error>

namespace dedarida {

namespace {

FirmwareImage LoadRaw(UntypedFile& file) {
    FirmwareImage image;
    file.OpenRead();
    const std::uint64_t size = file.FileSize();
    if (size != TxSize)
        throw EFirmwareRefused(
            file.Name() + ": " + std::to_string(size) + " bytes; a raw image must be exactly " +
            std::to_string(TxSize) +
            " bytes (S-record files end in .s .mot .s19 .s28 .s37 .srec, Intel HEX "
            "files in .hex .ihex)");
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

// Walks the file with a Walker of its format and judges its findings with
// `refusal`.
template <class Walker, class Refusal>
FirmwareImage LoadRecords(BlockReader& file, Refusal refusal) {
    return Refusing(file.Name(), [&file, refusal] {
        auto buffer = std::make_unique<TReadBuffer>();
        auto flash = std::make_unique<TFlashImage>();
        auto walker = std::make_unique<Walker>(*flash);
        if (!LoadRecordFile(file, *buffer, *flash, *walker))
            throw EFirmwareRefused(file.Name() + ": cannot be opened");
        if (const std::string reason = refusal(walker->Findings()); !reason.empty())
            throw EFirmwareRefused(file.Name() + ": " + reason);
        FirmwareImage image;
        std::copy_n(flash->begin(), TxSize, image.Bytes.begin());
        image.BytesCovered = walker->Findings().SentBytesCovered;
        return image;
    });
}

bool EndsInOneOf(const std::string& fileName, std::initializer_list<const char*> extensions) {
    const std::string name = AsciiLower(fileName);
    return std::any_of(extensions.begin(), extensions.end(),
                       [&name](const char* extension) { return name.ends_with(extension); });
}

} // namespace

bool IsSRecordFileName(const std::string& FileName) {
    return EndsInOneOf(FileName, {".s", ".mot", ".s19", ".s28", ".s37", ".srec"});
}

bool IsIntelHexFileName(const std::string& FileName) {
    return EndsInOneOf(FileName, {".hex", ".ihex"});
}

FirmwareImage LoadSRecordFirmware(BlockReader& File) {
    return LoadRecords<SRecordWalker>(File, SRecordRefusal);
}

FirmwareImage LoadIntelHexFirmware(BlockReader& File) {
    return LoadRecords<IntelHexWalker>(File, IntelHexRefusal);
}

FirmwareImage LoadFirmwareImage(const std::string& FileName) {
    UntypedFile file;
    file.Assign(FileName);
    if (IsSRecordFileName(FileName))
        return LoadSRecordFirmware(file);
    if (IsIntelHexFileName(FileName))
        return LoadIntelHexFirmware(file);
    return Refusing(FileName, [&file] { return LoadRaw(file); });
}

} // namespace dedarida
