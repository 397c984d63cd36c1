#include "app/win32/main_window.h"

#include "app/shared/form_design.h"
#include "app/win32/command_ids.h"
#include "app/win32/message_box.h"
#include "app/win32/port_dialog.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_error.h"

#include <commctrl.h>
#include <stdexcept>

namespace dedarida {

namespace {

constexpr UINT_PTR Timer1 = 1;

} // namespace

TForm1::TForm1(MainThread& main)
    : main_(main), font_(WindowFontHeight), startFont_(StartFontHeight), programmer_(*this, main) {
    BuildMenus();
    CreateWindowFrame();
    BuildControls();
    AddTooltip();
    programmer_.SetSilenceNotices(true);
    programmer_.Init();
}

TForm1::~TForm1() {
    programmer_.CloseAll();
    if (window_)
        DestroyWindow(window_);
    DestroyMenu(File1);
    DestroyAcceleratorTable(accelerators_);
}

void TForm1::Show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

LRESULT TForm1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // 0 from a menu item or a button click, 1 from a shortcut.
        if (HIWORD(wParam) <= 1)
            Command(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == Timer1)
            programmer_.Timeout();
        return 0;
    case WM_PAINT:
        PaintBevel();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {form1::MinWidth, form1::MinHeight};
        limits->ptMaxTrackSize = {form1::MaxWidth, form1::MaxHeight};
        return 0;
    }
    case WM_DESTROY:
        // The tool ends with its window, whatever destroyed it. The port is
        // closed once the loop has ended (the destructor): destroyed from a
        // box a port handler shows, the window cannot close it here.
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void TForm1::Command(int id) {
    switch (id) {
    case Button1Id:
        programmer_.Button1Click();
        break;
    case SendProgram2Id:
        programmer_.SendCode();
        break;
    case SerialPort1Id:
        programmer_.PortSetup();
        break;
    default:
        break;
    }
}

void TForm1::PaintBevel() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    const ControlPlace& bevel = form1::Bevel1;
    RECT frame{bevel.left, bevel.top, bevel.left + bevel.width, bevel.top + bevel.height};
    DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
    EndPaint(window_, &paint);
}

void TForm1::OnMainThread(std::function<void()> update) {
    if (main_.IsMainThread())
        update();
    else
        main_.Post(std::move(update));
}

void TForm1::SetPanelText(int index, const std::string& text) {
    if (index < 0 || index >= static_cast<int>(form1::PanelTexts.size()))
        throw std::out_of_range("status panel " + std::to_string(index));
    OnMainThread([this, index, text = FromCore(text)] {
        SendMessageW(StatusBar1, SB_SETTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.c_str()));
        SetPanelTip(index, {});
    });
}

void TForm1::ShowNotice(const std::string& brief, const std::string& whole) {
    OnMainThread([this, brief = FromCore(brief), whole = FromCore(whole)] {
        SendMessageW(StatusBar1, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(brief.c_str()));
        SetPanelTip(1, whole);
    });
}

void TForm1::SetProgress(int position) {
    OnMainThread([this, position] { SendMessageW(ProgressBar1, PBM_SETPOS, position, 0); });
}

void TForm1::SetStartEnabled(bool enabled) {
    OnMainThread([this, enabled] { EnableWindow(Button1, enabled ? TRUE : FALSE); });
}

void TForm1::SetTimerEnabled(bool enabled) {
    OnMainThread([this, enabled] {
        if (enabled) {
            if (!SetTimer(window_, Timer1, form1::TimerInterval, nullptr))
                ThrowLastError("SetTimer");
        } else
            KillTimer(window_, Timer1);
    });
}

void TForm1::ShowMessage(MessageKind kind, const std::string& text) {
    OnMainThread([this, kind, text = FromCore(text)] {
        ShowMessageBox(window_, kind, FromCore(ApplicationTitle), text);
    });
}

void TForm1::ShowError(const std::string& text) {
    OnMainThread([text = FromSystem(text)] { ShowErrorBox(text); });
}

void TForm1::ShowPortDialog(TComPort& port) {
    if (portDialog_)
        portDialog_->ShowPropForm(port);
}

} // namespace dedarida
