#include "image/flash_dump.h"

#include <array>
#include <cstdint>
#include <span>

namespace dedarida {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
// "$XX," and a line end.
constexpr std::size_t LongestItem = 6;
constexpr std::size_t DumpBufferSize = 4096;

} // namespace

void WriteFlashDump(UntypedFile& DumpFile, const TFlashImage& FlashImage) {
    std::array<std::uint8_t, DumpBufferSize> buffer;
    std::size_t used = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(TxSize); ++i) {
        if (buffer.size() - used < LongestItem) {
            DumpFile.BlockWrite(std::span(buffer.data(), used));
            used = 0;
        }
        buffer[used++] = '$';
        buffer[used++] = HexDigits[FlashImage[i] >> 4];
        buffer[used++] = HexDigits[FlashImage[i] & 0x0F];
        buffer[used++] = ',';
        if (i != 0 && i % 9 == 0) {
            buffer[used++] = '\r';
            buffer[used++] = '\n';
        }
    }
    DumpFile.BlockWrite(std::span(buffer.data(), used));
}

} // namespace dedarida
