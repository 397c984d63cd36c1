#pragma once

#include "image/block_reader.h"
#include "image/flash_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace dedarida {

// A firmware file refused before anything is sent; the message names the file
// and the reason.
class EFirmwareRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The image a firmware file gives: the TxSize bytes that go to the device.
struct FirmwareImage {
    std::array<std::uint8_t, TxSize> Bytes{};
    // Bytes the file itself sets; the rest are the loader's 0xFF fill.
    std::size_t BytesCovered = 0;
};

// Whether the name ends in an S-record extension (.s .mot .s19 .s28 .s37
// .srec, any case). A file of neither record format's names is read as a raw
// image.
bool IsSRecordFileName(const std::string& FileName);

// Whether the name ends in an Intel HEX extension (.hex .ihex, any case).
bool IsIntelHexFileName(const std::string& FileName);

// Reads a raw image of exactly TxSize bytes, or (by its name) an S-record
// file as LoadSRecordFirmware does or an Intel HEX file as
// LoadIntelHexFirmware does. Raises EFirmwareRefused for a raw file of
// another size and a file that cannot be read.
FirmwareImage LoadFirmwareImage(const std::string& FileName);

// Reads an S-record file through the project's loader (0xFF fill, index =
// address - AddressOffset). Raises EFirmwareRefused, naming the file, the
// first line concerned and the reason, for a malformed line, a wrong
// checksum, a data byte outside the sent blocks, data overlapping with other
// values, a record count that does not match, no data at all, and a file
// that cannot be read.
FirmwareImage LoadSRecordFirmware(BlockReader& File);

// Reads an Intel HEX file as LoadSRecordFirmware reads an S-record file, with
// the same refusals; instead of a record count, a line after the end-of-file
// record and a file without one are refused.
FirmwareImage LoadIntelHexFirmware(BlockReader& File);

} // namespace dedarida
