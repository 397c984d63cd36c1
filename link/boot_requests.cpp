#include "link/boot_command.h"
#include "link/link.h"

#include <stdexcept>
#include <string>

namespace dedarida {

void Link::AppendStuffed(std::size_t& length, std::uint8_t byte) {
    TxFrame_[length++] = byte;
    if (byte == Dle)
        TxFrame_[length++] = byte;
}

void Link::WriteTxFrame(std::size_t length) {
    port_.Write(TxFrame_.data(), static_cast<std::int32_t>(length), true);
}

void Link::NoteBootRequest(std::uint8_t code) {
    std::lock_guard rx(rxMutex_);
    requestMark_ = framer_.Taken();
    LastBootCommand = code;
    BootAnswerDue = true;
}

void Link::SendBootCommand(std::uint8_t code) {
    std::lock_guard tx(txMutex_);
    TxFrame_[0] = Dle;
    TxFrame_[1] = BootRequestStart;
    TxFrame_[2] = BootCommandBodyLength;
    TxFrame_[3] = 0;
    TxFrame_[4] = code;
    TxFrame_[5] = static_cast<std::uint8_t>(BootCommandBodyLength + code);
    TxFrame_[6] = Dle;
    TxFrame_[7] = BootRequestEnd;
    NoteBootRequest(code);
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
    TxFrame_[1] = BootRequestStart;
    std::size_t length = 2;
    std::uint8_t checksum = 0;
    const auto append = [&](std::uint8_t byte) {
        AppendStuffed(length, byte);
        checksum = static_cast<std::uint8_t>(checksum + byte);
    };
    append(BootBlockBodyLength & 0xFF);
    append(BootBlockBodyLength >> 8);
    append(BootProgram);
    const std::int32_t address = position + AddressOffset;
    append(address & 0xFF);
    append((address >> 8) & 0xFF);
    append((address >> 16) & 0xFF);
    append(0);
    for (std::int32_t i = 0; i < BootBlockSize; ++i) {
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
    TxFrame_[length++] = BootRequestEnd;
    NoteBootRequest(BootProgram);
    WriteTxFrame(length);
    std::string text;
    GetCommandStr(BootProgram, text);
    panels_.SetPanelText(2, text);
}

} // namespace dedarida
