#include "unit/headless_window.h"

#include "text/printable_text.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

namespace dedarida {

namespace {

std::string Trimmed(const std::string& text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

} // namespace

HeadlessWindow::HeadlessWindow(UnitOutput& output, MainLoop& loop, UpgradeReport& report)
    : output_(output), loop_(loop), report_(report) {}

void HeadlessWindow::OnMain(std::function<void()> routine) {
    if (loop_.Queue().IsMainThread())
        routine();
    else
        loop_.Queue().Post(std::move(routine));
}

void HeadlessWindow::Refresh() {
    output_.Update(SnapshotOf(report_, UpgradeReport::Clock::now()));
}

void HeadlessWindow::Print(const char* label, const std::string& text) {
    output_.Event(label + std::string(": ") + Printable(Trimmed(text)));
}

void HeadlessWindow::SetPanelText(int index, const std::string& text) {
    OnMain([this, index, text] {
        if (index == 1 && text == "START UPGRADE" && programmer_)
            report_.identity = programmer_->LastReply;
        report_.PanelText(index, text);
        Refresh();
        // A re-sent Poll shows the same text again; only changes are news.
        if (index < 0 || index > 2 || panels_[index] == text)
            return;
        panels_[index] = text;
        static const char* const labels[] = {"port", "status", "command"};
        Print(labels[index], index == 1 && programmer_ && text == programmer_->ReplyText
                                 ? programmer_->LastReply
                                 : text);
    });
}

void HeadlessWindow::SetProgress(int position) {
    OnMain([this, position] {
        report_.Progress(position);
        Refresh();
    });
}

void HeadlessWindow::SetTimerEnabled(bool enabled) {
    loop_.SetTimerEnabled(enabled);
}

void HeadlessWindow::ShowMessage(MessageKind kind, const std::string& text) {
    if ((text == "You can not update this device !" || text == "Unknown device !") && programmer_)
        report_.identity = programmer_->LastReply;
    report_.Message(kind, text);
    Print(kind == MessageKind::Error ? "error" : "message", text);
}

void HeadlessWindow::ShowError(const std::string& text) {
    report_.Finish(UpgradeResult::LineError);
    Print("error", text);
}

} // namespace dedarida
