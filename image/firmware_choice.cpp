#include "image/firmware_choice.h"

#include "image/in_out_error.h"
#include "image/srecord_loader.h"
#include "image/untyped_file.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace dedarida {

namespace {

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void LoadRaw(UntypedFile& file, FirmwareImage& image) {
    file.OpenRead();
    const std::uint64_t size = file.FileSize();
    if (size != TxSize)
        throw EFirmwareRefused(file.Name() + ": " + std::to_string(size) +
                               " bytes; a raw image must be exactly " + std::to_string(TxSize) +
                               " bytes (S-record files end in .s .mot .s19 .s28 .s37 .srec)");
    if (file.BlockRead(image.Bytes) != image.Bytes.size())
        throw EFirmwareRefused(file.Name() + ": shorter than its size while being read");
    image.BytesCovered = TxSize;
}

void LoadSRecords(UntypedFile& file, FirmwareImage& image) {
    auto buffer = std::make_unique<TReadBuffer>();
    auto flash = std::make_unique<TFlashImage>();
    const SRecordLoad load = LoadSRecordFile(file, *buffer, *flash);
    if (!load.Loaded)
        throw EFirmwareRefused(file.Name() + ": cannot be opened");
    const auto refuse = [&](const std::string& reason) {
        throw EFirmwareRefused(file.Name() + ": " + reason);
    };
    if (load.RejectedRecords != 0)
        refuse(Counted(load.RejectedRecords, "record is", "records are") +
               " malformed (fields must be upper-case hex)");
    if (load.BadChecksums != 0)
        refuse(Counted(load.BadChecksums, "record has", "records have") + " a wrong checksum");
    if (const std::size_t outside = load.OutOfRangeBytes + load.UnsentBytesCovered)
        refuse(Counted(outside, "data byte lies", "data bytes lie") + " outside 0x0E8800-0x0FDFFF");
    if (load.SentBytesCovered == 0)
        refuse("holds no data");
    std::copy_n(flash->begin(), TxSize, image.Bytes.begin());
    image.BytesCovered = load.SentBytesCovered;
}

} // namespace

bool IsSRecordFileName(const std::string& FileName) {
    const std::string name = LowerCase(FileName);
    for (const char* extension : {".s", ".mot", ".s19", ".s28", ".s37", ".srec"})
        if (name.ends_with(extension))
            return true;
    return false;
}

FirmwareImage LoadFirmwareImage(const std::string& FileName) {
    FirmwareImage image;
    UntypedFile file;
    file.Assign(FileName);
    try {
        if (IsSRecordFileName(FileName))
            LoadSRecords(file, image);
        else
            LoadRaw(file, image);
    } catch (const EInOutError& failure) {
        throw EFirmwareRefused(FileName + ": cannot be read (" + failure.what() + ")");
    }
    return image;
}

} // namespace dedarida
