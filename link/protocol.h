#pragma once

#include <cstddef>
#include <cstdint>

// The two protocols on the device's line, in one place: the request builders,
// the receive framer, the reply interpreter and the trace all read them here.
namespace dedarida {

// LinkMode: application mode at 4800 baud, bootloader mode at 38400 baud.
enum : std::uint8_t { AppMode = 0, BootMode = 1 };

// Bootloader frames: DLE 0x04 body DLE 0x05 out, DLE 0x02 body DLE 0x03 back;
// a DLE inside a body goes twice.
inline constexpr std::uint8_t Dle = 0x10;
inline constexpr std::uint8_t BootRequestStart = 0x04;
inline constexpr std::uint8_t BootRequestEnd = 0x05;
inline constexpr std::uint8_t BootReplyStart = 0x02;
inline constexpr std::uint8_t BootReplyEnd = 0x03;

// BootCommand codes: the one-byte request codes of the bootloader.
inline constexpr std::uint8_t BootPoll = 1;
inline constexpr std::uint8_t BootEraseFlash = 2;
inline constexpr std::uint8_t BootProgram = 3;
inline constexpr std::uint8_t BootStartApplication = 4;
inline constexpr std::uint8_t BootFwId = 6;

// Request bodies, from the length field through the checksum.
inline constexpr std::uint8_t BootCommandBodyLength = 4;
inline constexpr std::uint16_t BootBlockBodyLength = 1032;
inline constexpr std::int32_t BootBlockSize = 1024;

// Reply bodies: length (2 bytes), the command answered, its status, checksum.
inline constexpr std::size_t BootReplyCommandIndex = 2;
inline constexpr std::size_t BootReplyStatusIndex = 3;
// The shortest body that names its request and carries a status.
inline constexpr std::int32_t BootReplyMinLength = 5;

inline constexpr std::uint8_t BootStatusDone = 0x00;
inline constexpr std::uint8_t BootStatusFailed = 0x01;
inline constexpr std::uint8_t BootStatusCommandError = 0xFD;

// Application frames: 55 30 3F L code sum out; 55 3F|0F 30 L kind ... sum back.
inline constexpr std::uint8_t AppStart = 0x55;
inline constexpr std::uint8_t AppFixed = 0x30;
inline constexpr std::uint8_t AppMarker = 0x3F;
inline constexpr std::uint8_t AppMarkerAlt = 0x0F;
// The largest length byte a reply may carry.
inline constexpr std::uint8_t AppLengthLimit = 41;
// A command frame's length byte: the code and the checksum.
inline constexpr std::uint8_t AppCommandLength = 2;

// Application-mode command codes the controller sends.
inline constexpr std::uint8_t AppCommandIdentity = 0x03;
inline constexpr std::uint8_t AppCommandStartUpgrade = 0xF6;
inline constexpr std::uint8_t AppCommandGoOffline = 0x69;

// Application replies: the kind byte, the kind that carries text, where the
// text starts.
inline constexpr std::size_t AppReplyKindIndex = 4;
inline constexpr std::uint8_t AppTextReplyKind = 0x5D;
inline constexpr std::size_t AppReplyTextStart = 6;

} // namespace dedarida
