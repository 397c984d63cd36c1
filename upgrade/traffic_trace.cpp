#include "upgrade/traffic_trace.h"

#include "image/file_open.h"
#include "link/boot_command.h"
#include "link/link.h"

#include <cerrno>
#include <ctime>
#include <system_error>

namespace dedarida {

namespace {

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string CommandName(std::uint8_t code) {
    std::string text = "request " + Hex(code);
    GetCommandStr(code, text);
    return text;
}

// Undoes the stuffing of a bootloader request from `from` on; at most `count`
// body bytes go to `out`. Returns how many were found.
std::size_t Unstuff(const std::uint8_t* bytes, std::size_t size, std::size_t from,
                    std::uint8_t* out, std::size_t count) {
    std::size_t n = 0;
    for (std::size_t i = from; i < size && n < count; ++i) {
        if (bytes[i] == Dle && i + 1 < size && bytes[i + 1] == Dle)
            ++i;
        out[n++] = bytes[i];
    }
    return n;
}

std::string AppCommandName(std::uint8_t code) {
    switch (code) {
    case AppCommandIdentity:
        return "identity request";
    case AppCommandStartUpgrade:
        return "start upgrade";
    case AppCommandGoOffline:
        return "go offline";
    default:
        return "command " + Hex(code);
    }
}

std::string DiscardReason(ReplyMismatch why, std::uint8_t answered, std::uint8_t lastCommand) {
    switch (why) {
    case ReplyMismatch::TooShort:
        return "too short to name its request and status";
    case ReplyMismatch::NoneDue:
        return lastCommand == 0 ? "no request has been written"
                                : CommandName(lastCommand) + " has had its answer";
    case ReplyMismatch::BeforeRequest:
        return "it came before " + CommandName(lastCommand) + " was written";
    case ReplyMismatch::OtherCommand:
        return "it answers " + CommandName(answered) + ", but " + CommandName(lastCommand) +
               " was written last";
    case ReplyMismatch::None:
        break;
    }
    return "it matched";
}

std::string RequestMeaning(const std::uint8_t* bytes, std::size_t count) {
    if (count == 6 && bytes[0] == AppStart)
        return AppCommandName(bytes[4]);
    std::uint8_t head[7];
    if (count < 8 || bytes[0] != Dle || Unstuff(bytes, count - 2, 2, head, 7) < 3)
        return "unknown";
    if (head[2] != BootProgram)
        return CommandName(head[2]);
    const unsigned address = head[3] | head[4] << 8 | head[5] << 16;
    char text[64];
    std::snprintf(text, sizeof text, "Program block at 0x%06X (%zu bytes)", address, count);
    return text;
}

std::string StatusMeaning(std::uint8_t status) {
    switch (status) {
    case BootStatusDone:
        return "status 0 (done)";
    case BootStatusFailed:
        return "status 1 (failed)";
    case BootStatusCommandError:
        return "status 0xFD (command error)";
    default:
        return "status " + Hex(status);
    }
}

std::string ReplyMeaning(const TRxFrame& frame, std::size_t count, bool bootMode) {
    std::string meaning;
    if (bootMode) {
        meaning = count >= static_cast<std::size_t>(BootReplyMinLength)
                      ? StatusMeaning(frame[BootReplyStatusIndex]) + " to " +
                            CommandName(frame[BootReplyCommandIndex])
                      : "short reply";
    } else if (count > AppReplyKindIndex && frame[AppReplyKindIndex] == AppTextReplyKind) {
        meaning = "text \"";
        for (std::size_t i = AppReplyTextStart; i + 1 < count; ++i)
            meaning += (frame[i] >= 0x20 && frame[i] < 0x7F) ? static_cast<char>(frame[i]) : '.';
        meaning += "\"";
    } else {
        meaning = count > AppReplyKindIndex ? "reply kind " + Hex(frame[AppReplyKindIndex])
                                            : "short reply";
    }
    if (count == 0 || !Link::FrameChecksumOk(static_cast<std::uint8_t>(count - 1), frame))
        meaning += " (bad checksum)";
    return meaning;
}

} // namespace

TrafficTrace::TrafficTrace(const std::string& path) : file_(OpenStream(path, "w")) {
    if (!file_)
        throw std::system_error(errno, std::generic_category(), "cannot write the trace " + path);
}

TrafficTrace::~TrafficTrace() {
    std::fclose(file_);
}

void TrafficTrace::Sent(const std::uint8_t* bytes, std::size_t count, std::uint32_t baud) {
    Line("TX", baud, bytes, count, RequestMeaning(bytes, count));
}

void TrafficTrace::Received(const TRxFrame& frame, std::size_t count, bool bootMode,
                            std::uint32_t baud) {
    Line("RX", baud, frame.data(), count, ReplyMeaning(frame, count, bootMode));
}

void TrafficTrace::ReplyDiscarded(ReplyMismatch why, std::uint8_t answered,
                                  std::uint8_t lastCommand, std::uint32_t baud) {
    Line("--", baud, nullptr, 0, "reply discarded: " + DiscardReason(why, answered, lastCommand));
}

void TrafficTrace::AppCommandDropped(std::uint8_t code, std::uint32_t baud) {
    Line("--", baud, nullptr, 0,
         AppCommandName(code) + " not sent: the link has left application mode");
}

void TrafficTrace::Line(const char* direction, std::uint32_t baud, const std::uint8_t* bytes,
                        std::size_t count, const std::string& meaning) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();

    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%02d:%02d:%02d.%06ld +%.6f %s %5u |", local.tm_hour, local.tm_min,
                 local.tm_sec, now.tv_nsec / 1000, elapsed, direction, baud);
    for (std::size_t i = 0; i < count; ++i)
        std::fprintf(file_, " %02X", bytes[i]);
    std::fprintf(file_, " | %s\n", meaning.c_str());
    CheckWritten();
}

void TrafficTrace::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "# %s\n", text.c_str());
    CheckWritten();
}

void TrafficTrace::CheckWritten() {
    if ((std::fflush(file_) != 0 || std::ferror(file_)) && writeError_ == 0)
        writeError_ = errno != 0 ? errno : EIO;
}

std::string TrafficTrace::WriteError() const {
    std::lock_guard lock(mutex_);
    return writeError_ == 0 ? std::string() : std::generic_category().message(writeError_);
}

} // namespace dedarida
