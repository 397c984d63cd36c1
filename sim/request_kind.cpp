#include "sim/request_kind.h"

#include <array>

namespace dedarida::sim {

namespace {

constexpr std::array<std::string_view, RequestKindCount> Names = {
    "identity", "start-upgrade", "go-offline", "poll", "erase", "program", "start"};

} // namespace

std::optional<RequestKind> ParseRequestKind(std::string_view name) {
    for (std::size_t i = 0; i < Names.size(); ++i) {
        if (Names[i] == name) {
            return static_cast<RequestKind>(i);
        }
    }
    return std::nullopt;
}

} // namespace dedarida::sim
