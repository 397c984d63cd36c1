#pragma once

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace dedarida::test {

// A pseudo terminal for the tool to write to, as wide as asked.
class Terminal {
public:
    explicit Terminal(unsigned short columns) {
        // Neither end leaks into the tool: a tool that held the master could
        // never see its terminal go.
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(slave_, 0);
        SetWidth(columns);
    }
    ~Terminal() {
        CloseSlave();
        close(master_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    int Slave() const { return slave_; }
    void SetWidth(unsigned short columns) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = columns;
        EXPECT_EQ(ioctl(master_, TIOCSWINSZ, &size), 0);
    }
    // Ctrl-S: the terminal takes no more output, as a reader who stopped it;
    // Ctrl-Q lets it go on.
    void Stop() { Type("\x13"); }
    void Resume() { Type("\x11"); }
    // Whether any output waits to be read.
    bool HasOutput() const {
        pollfd ready{master_, POLLIN, 0};
        return poll(&ready, 1, 0) > 0;
    }
    // Everything written until the last writer closes the terminal (give the
    // slave to the tool first); `onChunk` sees the text so far after each read.
    std::string ReadAll(const std::function<void(const std::string&)>& onChunk = {}) {
        CloseSlave();
        std::string output;
        for (char buffer[4096];;) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, 30000) <= 0) {
                ADD_FAILURE() << "the terminal stayed silent for 30 s";
                return output;
            }
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got <= 0)
                return output; // EIO once the tool has closed it
            output.append(buffer, static_cast<std::size_t>(got));
            if (onChunk)
                onChunk(output);
        }
    }

private:
    void Type(const char* keys) {
        EXPECT_EQ(write(master_, keys, strlen(keys)), static_cast<ssize_t>(strlen(keys)));
    }
    void CloseSlave() {
        if (slave_ >= 0)
            close(slave_);
        slave_ = -1;
    }

    int master_ = -1;
    int slave_ = -1;
};

// The visible text after a stream of output, as a terminal would keep it:
// carriage return, line feed, cursor up (ESC [ n A), erase below (ESC [ J).
inline std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> lines(1);
    std::size_t row = 0, column = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (++row == lines.size())
                lines.emplace_back();
        } else if (c == '\033' && i + 1 < output.size() && output[i + 1] == '[') {
            std::size_t end = i + 2;
            unsigned count = 0;
            for (; end < output.size() && std::isdigit(static_cast<unsigned char>(output[end]));
                 ++end)
                count = count * 10 + static_cast<unsigned>(output[end] - '0');
            if (end < output.size() && output[end] == 'A') {
                row -= std::min<std::size_t>(row, count == 0 ? 1 : count);
            } else if (end < output.size() && output[end] == 'J') {
                lines[row].resize(std::min(lines[row].size(), column));
                lines.resize(row + 1);
            }
            i = end;
        } else {
            if (column >= lines[row].size())
                lines[row].resize(column + 1, ' ');
            lines[row][column++] = c;
        }
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// Bar lines as drawn, in order, without their escape sequences.
inline std::vector<std::string> Bars(const std::string& output) {
    std::vector<std::string> bars;
    std::string line;
    for (std::size_t i = 0; i <= output.size(); ++i) {
        if (i == output.size() || output[i] == '\n' || output[i] == '\r') {
            if (line.starts_with("["))
                bars.push_back(line);
            line.clear();
        } else if (output[i] == '\033') {
            while (i < output.size() && !std::isalpha(static_cast<unsigned char>(output[i])))
                ++i;
        } else {
            line += output[i];
        }
    }
    return bars;
}

} // namespace dedarida::test
