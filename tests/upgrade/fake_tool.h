#pragma once

#include "serial/run_queue.h"
#include "tests/upgrade/recording_window.h"
#include "tests/upgrade/reply_model.h"
#include "tests/upgrade/scripted_driver.h"
#include "upgrade/programmer.h"
#include "upgrade/traffic_trace.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace dedarida::test {

// A bootloader reply on the wire: 10 02, the body with each 0x10 doubled,
// 10 03. The body is taken as it is, checksum included.
inline Bytes FramedBody(const Bytes& body) {
    Bytes wire = {0x10, 0x02};
    for (const std::uint8_t byte : body) {
        wire.push_back(byte);
        if (byte == 0x10)
            wire.push_back(byte);
    }
    wire.push_back(0x10);
    wire.push_back(0x03);
    return wire;
}

// The body 05 00 command status, then its checksum (plus `checksumDelta`).
inline Bytes BootBody(std::uint8_t command, std::uint8_t status, std::uint8_t checksumDelta = 0) {
    return {0x05, 0x00, command, status,
            static_cast<std::uint8_t>(0x05 + command + status + checksumDelta)};
}

inline Bytes BootReply(std::uint8_t command, std::uint8_t status) {
    return FramedBody(BootBody(command, status));
}

// An application text reply: 55 3F 30 L 5D 00 text checksum.
inline Bytes TextReply(const std::string& text) {
    Bytes frame = {0x55, 0x3F, 0x30, static_cast<std::uint8_t>(text.size() + 3), 0x5D, 0x00};
    for (const char c : text)
        frame.push_back(static_cast<std::uint8_t>(c));
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : frame)
        sum = static_cast<std::uint8_t>(sum + byte);
    frame.push_back(sum);
    return frame;
}

// The controller on a fake line, with the calling thread as its main thread:
// no pty, no tick thread, and pauses recorded instead of slept. The port is
// open. Free of GoogleTest: the reply fuzz target uses it too.
struct FakeTool {
    FakeTool() {
        tool.SetPause([this](std::chrono::milliseconds time) {
            pauses.push_back(time);
            writesAtPause.push_back(device->Writes().size());
        });
        tool.Init(false);
        tool.ComPort1().Open();
        panelBase_ = Panel1().size();
        progressBase_ = window.ProgressHistory().size();
    }
    ~FakeTool() {
        tool.CloseAll();
        if (trace_) {
            tool.SetTrace(nullptr);
            trace_.reset();
            std::filesystem::remove(tracePath_);
        }
    }
    FakeTool(const FakeTool&) = delete;
    FakeTool& operator=(const FakeTool&) = delete;

    // From now on the tool writes its traffic trace, read by TraceLines.
    void StartTrace() {
        tracePath_ = std::filesystem::temp_directory_path() /
                     ("dedarida-fake-trace-" + std::to_string(std::random_device{}()));
        trace_.emplace(tracePath_.string());
        tool.SetTrace(&*trace_);
    }
    // The trace's lines, each from the "|" before its meaning on.
    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        std::ifstream file(tracePath_);
        for (std::string text; std::getline(file, text);)
            lines.push_back(text.substr(text.rfind(" | ") + 1));
        return lines;
    }

    // The device sends `bytes`; the tool takes them as from one read.
    void Deliver(const Bytes& bytes) {
        device->Send(bytes);
        tool.Rx(tool.ComPort1(), 0);
    }
    // The code every request written carried, in order (index 4 of a
    // bootloader request and of an application command alike).
    std::vector<std::uint8_t> Requests() const {
        std::vector<std::uint8_t> codes;
        for (const Bytes& frame : device->Writes())
            codes.push_back(frame.size() > 4 ? frame[4] : 0);
        return codes;
    }
    // How many requests written carried `code`.
    unsigned Sent(std::uint8_t code) const {
        unsigned count = 0;
        for (const std::uint8_t request : Requests())
            count += request == code;
        return count;
    }
    std::uint8_t LastRequest() const {
        const auto codes = Requests();
        return codes.empty() ? 0 : codes.back();
    }
    // Texts panel 1 showed, in order.
    std::vector<std::string> Panel1() const {
        std::vector<std::string> texts;
        for (const auto& [panel, text] : window.History())
            if (panel == 1)
                texts.push_back(text);
        return texts;
    }
    // What the tool showed and sent since it was made, as the model notes it.
    ReplyModel::Seen Seen() const {
        ReplyModel::Seen seen;
        const auto panel = Panel1();
        seen.panel1.assign(panel.begin() + static_cast<std::ptrdiff_t>(panelBase_), panel.end());
        const auto progress = window.ProgressHistory();
        seen.progress.assign(progress.begin() + static_cast<std::ptrdiff_t>(progressBase_),
                             progress.end());
        for (const auto& message : window.Messages())
            seen.messages.push_back(
                (message.kind == MessageKind::Information ? "info: " : "error: ") + message.text);
        seen.requests = Requests();
        seen.mismatched = tool.MismatchedReplies;
        return seen;
    }

    // Bootloader mode with the Erase Flash request outstanding.
    void Erasing() { tool.SendCode(); }
    // Blocks answered until the request outstanding is block `k` (from 1).
    void Programming(int k) {
        Erasing();
        Deliver(BootReply(0x02, 0x00));
        for (int i = 1; i < k; ++i)
            Deliver(BootReply(0x03, 0x00));
    }
    // Every block answered: Start Application outstanding.
    void Checking() { Programming(87); }

    RunQueue main;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    std::shared_ptr<DeviceEnd> device = std::make_shared<DeviceEnd>();
    RecordingWindow window;
    Programmer tool{window, main,
                    [this] { return std::make_unique<ScriptedDriver>(line, device); }};
    std::vector<std::chrono::milliseconds> pauses;
    std::vector<std::size_t> writesAtPause;

private:
    std::size_t panelBase_ = 0;
    std::size_t progressBase_ = 0;
    std::filesystem::path tracePath_;
    std::optional<TrafficTrace> trace_;
};

} // namespace dedarida::test
