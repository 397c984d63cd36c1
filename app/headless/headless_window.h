#pragma once

#include "app/headless/upgrade_report.h"
#include "serial/main_thread.h"
#include "upgrade/programmer_window.h"

#include <cstdio>
#include <functional>
#include <string>

namespace dedarida {

class MainLoop;

// The window of the headless mode: prints each status change as a line and
// the progress (a bar redrawn in place on a terminal, plain percentage lines
// otherwise) to `out`, and feeds the report. Calls from other threads are
// handed to the main thread.
class HeadlessWindow : public ProgrammerWindow {
public:
    HeadlessWindow(std::FILE* out, MainLoop& loop, UpgradeReport& report);

    // Asked when the device's identity is first known (main thread).
    void SetIdentitySource(std::function<std::string()> source) { identity_ = std::move(source); }

    void SetPanelText(int index, const std::string& text) override;
    void SetProgress(int position) override;
    void SetStartEnabled(bool) override {}
    void SetTimerEnabled(bool enabled) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowPortDialog(TComPort&) override {}

    // Ends a bar drawn in place, so that what follows starts on its own line.
    void EndProgressLine();

private:
    void OnMain(std::function<void()> routine);
    void Print(const char* label, const std::string& text);

    std::FILE* out_;
    bool terminal_;
    MainLoop& loop_;
    UpgradeReport& report_;
    std::function<std::string()> identity_;
    std::string panels_[3];
    int progress_ = -1;
    bool barOpen_ = false;
};

} // namespace dedarida
