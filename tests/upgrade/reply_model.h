#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dedarida::test {

// What the controller must show and send for the bootloader's replies,
// written from the protocol's tables and never from the tool's own code:
// the oracle of the reply tests and of the reply fuzz target. Codes: 1 Poll,
// 2 Erase Flash, 3 Program, 4 Start Application, 6 Fw Id; statuses 0 done,
// 1 failed, 0xFD command error. A reply is the answer to the request written
// last only if it names that request at body index 2, carries a status at
// index 3, came after the request was written and is the first to do so.
class ReplyModel {
public:
    struct Seen {
        std::vector<std::string> panel1;
        std::vector<std::string> messages; // "info: text" or "error: text"
        std::vector<int> progress;
        std::vector<std::uint8_t> requests;
        int mismatched = 0;
        bool operator==(const Seen&) const = default;
    };

    // The tool's own steps: SendPoll, SendCode (the menu's SendProgram), a
    // Fw Id request, SwitchStatus1Click.
    void Poll() {
        blocks_ = 0;
        end_ = false;
        Request(1);
    }
    void SendProgram() {
        ++erases_;
        blocks_ = 0;
        end_ = false;
        seen.progress.push_back(0);
        boot_ = true;
        Request(2);
    }
    void FwId() { Request(6); }
    void Switch() { boot_ = !boot_; }
    bool BootMode() const { return boot_; }
    std::uint8_t LastRequest() const { return last_; }

    // Reply bodies (checksum included) that arrive in one read. Starting the
    // erase empties the receive buffer: what the read held after that reply
    // is gone.
    void Read(const std::vector<std::vector<std::uint8_t>>& bodies) {
        const int requestsBefore = requests_;
        const int erasesBefore = erases_;
        for (const auto& body : bodies) {
            if (erases_ != erasesBefore)
                return;
            Reply(body, requests_ != requestsBefore);
        }
    }

    Seen seen;

private:
    void Reply(const std::vector<std::uint8_t>& body, bool requestWrittenSince) {
        if (!boot_ || body.size() < 2 || !ChecksumHolds(body))
            return;
        if (body.size() < 5 || !due_ || requestWrittenSince || body[2] != last_) {
            ++seen.mismatched;
            return;
        }
        due_ = false;
        const std::uint8_t status = body[3];
        switch (last_) {
        case 1:
            SendProgram();
            break;
        case 2:
            if (status == 0) {
                Panel(" Flash erase OK");
                NextBlock();
            } else if (status == 1) {
                Panel("Send Data Fail");
            }
            break;
        case 3:
            if (status == 0)
                seen.progress.push_back(100 * blocks_ / 88);
            else if (status == 1)
                Panel("Verify error");
            else if (status == 0xFD)
                Panel("Command 3 Error");
            if (status == 0 || status == 1 || status == 0xFD)
                NextBlock();
            break;
        case 4:
            FinalCheck(status);
            break;
        case 6:
            if (status == 0)
                Panel("FW id: ");
            break;
        default:
            break;
        }
    }
    void FinalCheck(std::uint8_t status) {
        if (status == 0) {
            Panel("Programmed OK");
            seen.progress.push_back(0);
            seen.messages.push_back("info: System Programmed OK  v4.5");
            boot_ = false;
            return;
        }
        if (status == 0xFD)
            Panel("Command 4 Error");
        else if (status == 1)
            Panel("Program Fail");
        seen.messages.push_back("error: System Program Fail");
    }
    // 86 blocks of 1024 bytes, then Start Application, then nothing.
    void NextBlock() {
        if (end_)
            return;
        if (blocks_ == 86) {
            end_ = true;
            Request(4);
            Panel("Wait for CRC Check....");
            return;
        }
        ++blocks_;
        Request(3);
    }
    void Request(std::uint8_t code) {
        last_ = code;
        due_ = true;
        ++requests_;
        seen.requests.push_back(code);
    }
    void Panel(const char* text) { seen.panel1.push_back(text); }
    static bool ChecksumHolds(const std::vector<std::uint8_t>& body) {
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < body.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + body[i]);
        return sum == body.back();
    }

    bool boot_ = false;
    std::uint8_t last_ = 0;
    bool due_ = false;
    int blocks_ = 0;
    bool end_ = false;
    int requests_ = 0;
    int erases_ = 0;
};

} // namespace dedarida::test
