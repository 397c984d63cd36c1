#include "app/headless/headless_window.h"

#include "upgrade/main_loop.h"

#include <unistd.h>

namespace dedarida {

namespace {

constexpr int BarWidth = 40;

std::string Trimmed(const std::string& text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

} // namespace

HeadlessWindow::HeadlessWindow(std::FILE* out, MainLoop& loop, UpgradeReport& report)
    : out_(out), terminal_(isatty(fileno(out)) == 1), loop_(loop), report_(report) {}

void HeadlessWindow::OnMain(std::function<void()> routine) {
    if (loop_.Queue().IsMainThread())
        routine();
    else
        loop_.Queue().Post(std::move(routine));
}

void HeadlessWindow::EndProgressLine() {
    if (barOpen_) {
        std::fputc('\n', out_);
        barOpen_ = false;
    }
}

void HeadlessWindow::Print(const char* label, const std::string& text) {
    EndProgressLine();
    std::fprintf(out_, "%s: %s\n", label, Trimmed(text).c_str());
    std::fflush(out_);
}

void HeadlessWindow::SetPanelText(int index, const std::string& text) {
    OnMain([this, index, text] {
        if (index == 1 && text == "START UPGRADE" && identity_)
            report_.identity = Trimmed(identity_());
        report_.PanelText(index, text);
        // A re-sent Poll shows the same text again; only changes are news.
        if (index < 0 || index > 2 || panels_[index] == text)
            return;
        panels_[index] = text;
        static const char* const labels[] = {"port", "status", "command"};
        Print(labels[index], text);
    });
}

void HeadlessWindow::SetProgress(int position) {
    OnMain([this, position] {
        report_.Progress(position);
        if (position == progress_)
            return;
        progress_ = position;
        if (!terminal_) {
            std::fprintf(out_, "progress: %d%%\n", position);
        } else {
            const int filled = position * BarWidth / 100;
            std::fprintf(out_, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                         std::string(BarWidth - filled, '.').c_str(), position);
            barOpen_ = true;
        }
        std::fflush(out_);
    });
}

void HeadlessWindow::SetTimerEnabled(bool enabled) {
    loop_.SetTimerEnabled(enabled);
}

void HeadlessWindow::ShowMessage(MessageKind kind, const std::string& text) {
    if ((text == "You can not update this device !" || text == "Unknown device !") && identity_)
        report_.identity = Trimmed(identity_());
    report_.Message(kind, text);
    Print(kind == MessageKind::Error ? "error" : "message", text);
}

void HeadlessWindow::ShowError(const std::string& text) {
    report_.Finish(UpgradeResult::LineError);
    Print("error", text);
}

} // namespace dedarida
