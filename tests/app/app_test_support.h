#pragma once

#include "app/qt/application.h"
#include "app/qt/message_box.h"
#include "sim/pty.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace dedarida::test {

// Records the message boxes shown while it lives, instead of showing them.
class MessageRecorder {
public:
    struct Box {
        MessageKind kind;
        QString caption;
        QString text;
    };

    MessageRecorder() {
        previous_ = SetMessageBoxHandler(
            [this](QWidget*, MessageKind kind, const QString& caption, const QString& text) {
                boxes.push_back({kind, caption, text});
            });
    }
    ~MessageRecorder() { SetMessageBoxHandler(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<Box> boxes;

private:
    MessageBoxHandler previous_;
};

// A pty standing in for a COM port through DEDARIDA_COMn while it lives.
class ComPty {
public:
    explicit ComPty(int number) : variable_("DEDARIDA_COM" + std::to_string(number)), pty_("") {
        setenv(variable_.c_str(), pty_.SlavePath().c_str(), 1);
    }
    ~ComPty() { unsetenv(variable_.c_str()); }
    ComPty(const ComPty&) = delete;
    ComPty& operator=(const ComPty&) = delete;

    sim::Pty& Device() { return pty_; }

private:
    std::string variable_;
    sim::Pty pty_;
};

inline MainThread& MainQueue() {
    return static_cast<Application*>(qApp)->MainQueue();
}

// Runs `action` once the modal loop about to start is running.
inline void WhenModal(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
}

} // namespace dedarida::test
