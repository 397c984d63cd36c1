#include "link/boot_command.h"
#include "link/link.h"
#include "link/wire_bytes.h"

#include <stdexcept>
#include <string>

namespace dedarida {

namespace {

constexpr std::uint8_t RequestStart = 0x04;
constexpr std::uint8_t RequestEnd = 0x05;
constexpr std::int32_t BlockSize = 1024;
// Body bytes from the length field through the checksum.
constexpr std::uint16_t BlockBodyLength = 1032;
constexpr std::uint8_t CommandBodyLength = 4;

} // namespace

void Link::AppendStuffed(std::size_t& length, std::uint8_t byte) {
    TxFrame_[length++] = byte;
    if (byte == Dle)
        TxFrame_[length++] = byte;
}

void Link::WriteTxFrame(std::size_t length) {
    port_.Write(TxFrame_.data(), static_cast<std::int32_t>(length), true);
}

void Link::SendBootCommand(std::uint8_t code) {
    std::lock_guard tx(txMutex_);
    TxFrame_[0] = Dle;
    TxFrame_[1] = RequestStart;
    TxFrame_[2] = CommandBodyLength;
    TxFrame_[3] = 0;
    TxFrame_[4] = code;
    TxFrame_[5] = static_cast<std::uint8_t>(CommandBodyLength + code);
    TxFrame_[6] = Dle;
    TxFrame_[7] = RequestEnd;
    LastBootCommand = code;
    WriteTxFrame(8);
    std::string text;
    GetCommandStr(code, text);
    panels_.SetPanelText(2, text);
}

void Link::SendDataBlock() {
    std::lock_guard tx(txMutex_);
    if (EndOfImage)
        return;
    port_.WaitForWrite();

    std::int32_t position = BlockPosition;
    if (position < 0)
        throw std::out_of_range("BlockPosition " + std::to_string(position));
    TxFrame_.fill(0);
    TxFrame_[0] = Dle;
    TxFrame_[1] = RequestStart;
    std::size_t length = 2;
    std::uint8_t checksum = 0;
    const auto append = [&](std::uint8_t byte) {
        AppendStuffed(length, byte);
        checksum = static_cast<std::uint8_t>(checksum + byte);
    };
    append(BlockBodyLength & 0xFF);
    append(BlockBodyLength >> 8);
    append(BootProgram);
    const std::int32_t address = position + AddressOffset;
    append(address & 0xFF);
    append((address >> 8) & 0xFF);
    append((address >> 16) & 0xFF);
    append(0);
    for (std::int32_t i = 0; i < BlockSize; ++i) {
        if (position >= TxSize) {
            EndOfImage = 1;
            break;
        }
        append(image_[static_cast<std::size_t>(position)]);
        ++position;
    }
    BlockPosition = position;

    if (EndOfImage) {
        SendBootCommand(BootStartApplication);
        panels_.SetPanelText(1, "Wait for CRC Check....");
        return;
    }
    AppendStuffed(length, checksum);
    TxFrame_[length++] = Dle;
    TxFrame_[length++] = RequestEnd;
    LastBootCommand = BootProgram;
    WriteTxFrame(length);
    std::string text;
    GetCommandStr(BootProgram, text);
    panels_.SetPanelText(2, text);
}

} // namespace dedarida
