#pragma once

#include "sim/app_frames.h"
#include "sim/request_kind.h"
#include "sim/sim_config.h"
#include "sim/sim_flash.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dedarida::sim {

// A frame the device will send `delay` after the request was seen.
struct OutFrame {
    std::array<std::uint8_t, AppReplyMax> bytes{};
    std::size_t size = 0;
    std::chrono::milliseconds delay{0};
    bool half = false;       // send only the first half, then fall silent
    bool wrongSpeed = false; // sent at the speed of the other mode
    std::string meaning;
};

// What one request makes the device do.
struct Response {
    std::string requestMeaning;
    std::array<OutFrame, 2> frames; // the answer and, with latePollAnswer or doubleAck, its double
    std::size_t frameCount = 0;
    std::optional<DeviceMode> rebootInto; // after the frames have gone out and the reboot delay
    bool hangUp = false;                  // drop the line instead of answering
};

// The device's behaviour, free of I/O and clocks: requests in, answers out. The faults of
// the configuration are applied here. Not thread safe.
class Responder {
public:
    explicit Responder(const SimConfig& config);

    Response OnAppCommand(std::uint8_t code);
    // `body`: an accepted bootloader request (length through checksum).
    Response OnBootRequest(std::span<const std::uint8_t> body);

    const SimFlash& Flash() const { return flash_; }
    std::size_t BlocksStored() const { return blocksStored_; }
    std::optional<bool> CheckPassed() const { return checkPassed_; }
    bool Silent() const { return silent_; }
    unsigned Requests(RequestKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }

private:
    void Answer(Response& response, RequestKind kind, unsigned n, OutFrame frame);
    void AnswerBoot(Response& response, RequestKind kind, unsigned n, std::uint8_t command,
                    std::uint8_t status, std::chrono::milliseconds delay);
    void Program(Response& response, unsigned n, std::span<const std::uint8_t> body);
    // Sends the answer in `response` once more, `after` it.
    static void AnswerAgain(Response& response, std::chrono::milliseconds after,
                            std::string_view note);
    unsigned Count(RequestKind kind) { return ++counts_[static_cast<std::size_t>(kind)]; }

    const SimConfig& config_;
    SimFlash flash_;
    std::array<unsigned, RequestKindCount> counts_{};
    std::size_t blocksStored_ = 0;
    std::optional<bool> checkPassed_;
    bool silent_ = false;
};

} // namespace dedarida::sim
