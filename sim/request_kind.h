#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dedarida::sim {

// The requests the device tells apart; faults address "the n-th request of a kind".
enum class RequestKind : std::uint8_t {
    Identity,     // application command 0x03
    StartUpgrade, // application command 0xF6
    GoOffline,    // application command 0x69
    Poll,         // bootloader command 1
    Erase,        // bootloader command 2
    Program,      // bootloader command 3
    Start,        // bootloader command 4
};

inline constexpr std::size_t RequestKindCount = 7;

// By its command-line name: identity, start-upgrade, go-offline, poll, erase,
// program, start.
std::optional<RequestKind> ParseRequestKind(std::string_view name);

} // namespace dedarida::sim
