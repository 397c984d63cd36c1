#include "sim/responder.h"

#include "sim/boot_frames.h"

#include <algorithm>
#include <cstdio>

namespace dedarida::sim {

namespace {

static_assert(BootReplyMax <= AppReplyMax, "an OutFrame holds either reply");

constexpr std::uint8_t StatusDone = 0x00;
constexpr std::uint8_t StatusFailed = 0x01;
constexpr std::uint8_t StatusCommandError = 0xFD;
constexpr std::size_t CommandBody = 4;
constexpr std::size_t ProgramBody = 1032;

bool Targets(const std::vector<FaultTarget>& targets, RequestKind kind, unsigned n) {
    return std::find(targets.begin(), targets.end(), FaultTarget{kind, n}) != targets.end();
}

bool Listed(const std::vector<unsigned>& list, unsigned n) {
    return std::find(list.begin(), list.end(), n) != list.end();
}

std::string_view TextFor(const std::vector<ScriptedText>& scripted, RequestKind kind, unsigned n,
                         std::string_view own) {
    for (const auto& reply : scripted) {
        if (reply.target == FaultTarget{kind, n}) {
            return reply.text;
        }
    }
    return own;
}

std::string BootMeaning(std::uint8_t command, std::uint8_t status) {
    char text[40];
    std::snprintf(text, sizeof text, "reply to command %u: status 0x%02X", command, status);
    return text;
}

} // namespace

Responder::Responder(const SimConfig& config) : config_(config) {
    if (config_.identity.size() > AppReplyTextMax) {
        throw std::length_error("the identity text is longer than 38 characters");
    }
    for (const auto& reply : config_.replyTexts) {
        if (reply.text.size() > AppReplyTextMax) {
            throw std::length_error("a reply text is longer than 38 characters");
        }
    }
}

Response Responder::OnAppCommand(std::uint8_t code) {
    Response response;
    std::optional<RequestKind> kind;
    std::string_view text;
    switch (code) {
    case 0x03:
        kind = RequestKind::Identity;
        text = config_.identity;
        response.requestMeaning = "identity request";
        break;
    case 0xF6:
        kind = RequestKind::StartUpgrade;
        text = "READY TO UPGRADE";
        response.requestMeaning = "start-upgrade command";
        break;
    case 0x69:
        kind = RequestKind::GoOffline;
        text = "GOING OFFLINE";
        response.requestMeaning = "go-offline command";
        break;
    default:
        response.requestMeaning = "unknown command (ignored)";
        return response;
    }
    const unsigned n = Count(*kind);
    text = TextFor(config_.replyTexts, *kind, n, text);
    if (*kind == RequestKind::GoOffline) {
        if (config_.faults.ignoreGoOffline) {
            return response;
        }
        response.rebootInto = DeviceMode::Bootloader;
        if (config_.faults.silentGoOffline) {
            return response;
        }
    }
    OutFrame frame;
    frame.size = BuildAppReply(code, text, std::span(frame.bytes));
    if (Targets(config_.faults.corruptChecksum, *kind, n)) {
        ++frame.bytes[frame.size - 1]; // application frames are not stuffed
    }
    frame.meaning.assign(1, '"').append(text).append(1, '"');
    Answer(response, *kind, n, std::move(frame));
    return response;
}

Response Responder::OnBootRequest(std::span<const std::uint8_t> body) {
    Response response;
    const std::uint8_t command = body[2];
    const auto& faults = config_.faults;
    const bool commandSize = body.size() == CommandBody;
    if (command == 1 && commandSize) {
        response.requestMeaning = "Poll";
        const unsigned n = Count(RequestKind::Poll);
        if (n > faults.ignoredPolls) {
            AnswerBoot(response, RequestKind::Poll, n, command, StatusDone, Millis{0});
            if (faults.latePollAnswer) {
                AnswerAgain(response, faults.latePollDelay, " (late double)");
            }
        }
    } else if (command == 2 && commandSize) {
        response.requestMeaning = "Erase Flash";
        const unsigned n = Count(RequestKind::Erase);
        if (!faults.refuseErase) {
            flash_.Erase();
            blocksStored_ = 0;
        }
        AnswerBoot(response, RequestKind::Erase, n, command,
                   faults.refuseErase ? StatusFailed : StatusDone, config_.eraseTime);
    } else if (command == 3 && body.size() == ProgramBody) {
        Program(response, Count(RequestKind::Program), body);
    } else if (command == 4 && commandSize) {
        response.requestMeaning = "Start Application";
        const unsigned n = Count(RequestKind::Start);
        checkPassed_ = !faults.failFinalCheck && flash_.Check(config_.reference);
        AnswerBoot(response, RequestKind::Start, n, command,
                   *checkPassed_ ? StatusDone : StatusFailed, config_.checkTime);
        if (*checkPassed_) {
            response.rebootInto = DeviceMode::Application;
        }
    } else {
        response.requestMeaning = "unknown or malformed command";
        if (!silent_) {
            OutFrame frame;
            frame.size = BuildBootReply(command, StatusCommandError,
                                        std::span(frame.bytes).first<BootReplyMax>());
            frame.meaning = BootMeaning(command, StatusCommandError);
            response.frames[0] = std::move(frame);
            response.frameCount = 1;
        }
    }
    return response;
}

void Responder::Program(Response& response, unsigned n, std::span<const std::uint8_t> body) {
    const std::uint32_t address = body[3] | (static_cast<std::uint32_t>(body[4]) << 8) |
                                  (static_cast<std::uint32_t>(body[5]) << 16) |
                                  (static_cast<std::uint32_t>(body[6]) << 24);
    char meaning[32];
    std::snprintf(meaning, sizeof meaning, "Program 0x%06X", static_cast<unsigned>(address));
    response.requestMeaning = meaning;
    const auto& faults = config_.faults;
    if (n == faults.hangUpAtBlock) {
        response.hangUp = true;
        return;
    }
    std::uint8_t status = StatusDone;
    if (Listed(faults.commandErrorBlocks, n)) {
        status = StatusCommandError;
    } else if (Listed(faults.verifyErrorBlocks, n)) {
        status = StatusFailed;
    } else if (flash_.Program(address, body.subspan(7).first<FlashBlock>())) {
        ++blocksStored_;
    } else {
        status = StatusCommandError;
    }
    AnswerBoot(response, RequestKind::Program, n, 3, status, config_.programTime);
    if (faults.doubleAck) {
        AnswerAgain(response, faults.doubleAckDelay, " (double)");
    }
}

void Responder::AnswerAgain(Response& response, std::chrono::milliseconds after,
                            std::string_view note) {
    if (response.frameCount != 1) {
        return;
    }
    response.frames[1] = response.frames[0];
    response.frames[1].delay += after;
    response.frames[1].meaning += note;
    response.frameCount = 2;
}

void Responder::AnswerBoot(Response& response, RequestKind kind, unsigned n, std::uint8_t command,
                           std::uint8_t status, std::chrono::milliseconds delay) {
    OutFrame frame;
    // Corrupted before stuffing, so a checksum that becomes 0x10 is still sent doubled.
    const std::uint8_t delta = Targets(config_.faults.corruptChecksum, kind, n) ? 1 : 0;
    frame.size =
        BuildBootReply(command, status, std::span(frame.bytes).first<BootReplyMax>(), delta);
    frame.delay = delay;
    frame.meaning = BootMeaning(command, status);
    Answer(response, kind, n, std::move(frame));
}

void Responder::Answer(Response& response, RequestKind kind, unsigned n, OutFrame frame) {
    const auto& faults = config_.faults;
    if (silent_ || Targets(faults.dropReply, kind, n)) {
        return;
    }
    frame.wrongSpeed = Targets(faults.wrongSpeed, kind, n);
    if (Targets(faults.halfReply, kind, n)) {
        frame.half = true;
        silent_ = true;
    }
    response.frames[0] = std::move(frame);
    response.frameCount = 1;
}

} // namespace dedarida::sim
