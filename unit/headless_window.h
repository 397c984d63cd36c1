#pragma once

#include "serial/main_thread.h"
#include "unit/unit_output.h"
#include "unit/upgrade_report.h"
#include "upgrade/programmer_window.h"

#include <functional>
#include <string>

namespace dedarida {

class MainLoop;
class Programmer;

// The window of the headless mode: shows each status change and the progress
// through `output`, and feeds the report. Calls from other threads
// are handed to the main thread.
class HeadlessWindow : public ProgrammerWindow {
public:
    HeadlessWindow(UnitOutput& output, MainLoop& loop, UpgradeReport& report);

    // The controller whose replies it shows (main thread): a status that is
    // the controller's reply buffer is shown as the reply that came, once,
    // without the tail an earlier, longer one left in the buffer.
    void Follow(const Programmer& programmer) { programmer_ = &programmer; }

    void SetPanelText(int index, const std::string& text) override;
    // The whole text: a line has room for it.
    void ShowNotice(const std::string&, const std::string& whole) override {
        SetPanelText(1, whole);
    }
    void SetProgress(int position) override;
    void SetStartEnabled(bool) override {}
    void SetTimerEnabled(bool enabled) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowPortDialog(TComPort&) override {}

    // Shows the progress as it stands now (the elapsed time moves on).
    void Refresh();

private:
    void OnMain(std::function<void()> routine);
    void Print(const char* label, const std::string& text);

    UnitOutput& output_;
    MainLoop& loop_;
    UpgradeReport& report_;
    const Programmer* programmer_ = nullptr;
    std::string panels_[3];
};

} // namespace dedarida
