#pragma once

#include "upgrade/programmer_window.h"

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace dedarida::test {

// A window that remembers what the controller showed. Thread-safe.
class RecordingWindow : public ProgrammerWindow {
public:
    struct Message {
        MessageKind kind;
        std::string text;
    };

    void SetPanelText(int index, const std::string& text) override {
        std::lock_guard lock(mutex_);
        panels_.at(index) = text;
        history_.emplace_back(index, text);
        if (index == 1)
            tooltip_.clear();
    }
    // Panel 1 shows `brief`, its tooltip `whole`.
    void ShowNotice(const std::string& brief, const std::string& whole) override {
        SetPanelText(1, brief);
        std::lock_guard lock(mutex_);
        tooltip_ = whole;
    }
    void SetProgress(int position) override {
        std::lock_guard lock(mutex_);
        progress_ = position;
        progressHistory_.push_back(position);
    }
    void SetStartEnabled(bool enabled) override {
        std::lock_guard lock(mutex_);
        startEnabled_ = enabled;
        startEnabledCalls_.push_back(enabled);
    }
    void SetTimerEnabled(bool enabled) override {
        std::lock_guard lock(mutex_);
        timerEnabled_ = enabled;
    }
    void ShowMessage(MessageKind kind, const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({kind, text});
    }
    void ShowError(const std::string& text) override {
        {
            std::lock_guard lock(mutex_);
            errors_.push_back(text);
        }
        if (whileErrorShown)
            whileErrorShown();
    }
    // Runs inside ShowError, as the main thread's work goes on while a modal
    // box is open. Set it before errors arrive.
    std::function<void()> whileErrorShown;
    void ShowPortDialog(TComPort&) override {}
    std::vector<std::string> Errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

    std::string Panel(int index) const {
        std::lock_guard lock(mutex_);
        return panels_.at(index);
    }
    // Panel 1's tooltip: the whole of the notice it shows, or empty.
    std::string Tooltip() const {
        std::lock_guard lock(mutex_);
        return tooltip_;
    }
    int Progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    bool StartEnabled() const {
        std::lock_guard lock(mutex_);
        return startEnabled_;
    }
    // Every SetStartEnabled, in order.
    std::vector<bool> StartEnabledCalls() const {
        std::lock_guard lock(mutex_);
        return startEnabledCalls_;
    }
    bool TimerEnabled() const {
        std::lock_guard lock(mutex_);
        return timerEnabled_;
    }
    // Every position set, in order.
    std::vector<int> ProgressHistory() const {
        std::lock_guard lock(mutex_);
        return progressHistory_;
    }
    std::vector<Message> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // How often panel `index` was set to `text`.
    unsigned TimesShown(int index, const std::string& text) const {
        std::lock_guard lock(mutex_);
        unsigned count = 0;
        for (const auto& [panel, shown] : history_)
            count += panel == index && shown == text;
        return count;
    }
    // Every panel text set, in order, as (panel, text).
    std::vector<std::pair<int, std::string>> History() const {
        std::lock_guard lock(mutex_);
        return history_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> panels_ = {"COM:", "Status:", "Command:"};
    std::vector<std::pair<int, std::string>> history_;
    std::string tooltip_;
    std::vector<Message> messages_;
    std::vector<std::string> errors_;
    int progress_ = 0;
    std::vector<int> progressHistory_;
    bool startEnabled_ = true;
    std::vector<bool> startEnabledCalls_;
    bool timerEnabled_ = false;
};

} // namespace dedarida::test
