#include "app/shared/form_design.h"
#include "app/win32/command_ids.h"
#include "app/win32/form_window.h"
#include "app/win32/main_window.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_error.h"

#include <algorithm>
#include <commctrl.h>
#include <initializer_list>

namespace dedarida {

namespace {

constexpr wchar_t Form1Class[] = L"TForm1";
constexpr COLORREF Silver = RGB(0xC0, 0xC0, 0xC0);
constexpr LPARAM NoticeTipWidth = 400;
// Fixed single border: no sizing frame, no maximise box.
constexpr DWORD Form1Style =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Lives as long as the window class, that is as long as the process.
HBRUSH SilverBrush() {
    static const HBRUSH brush = CreateSolidBrush(Silver);
    return brush;
}

void AppendItem(HMENU menu, UINT flags, UINT_PTR id, const wchar_t* caption) {
    if (!AppendMenuW(menu, MF_STRING | flags, id, caption))
        ThrowLastError("AppendMenu");
}

HMENU NewMenu(bool popup) {
    HMENU menu = popup ? CreatePopupMenu() : CreateMenu();
    if (!menu)
        ThrowLastError("CreateMenu");
    return menu;
}

} // namespace

void TForm1::BuildMenus() {
    // A shortcut runs an item only while its menu is enabled; this one never is.
    File1 = NewMenu(true);
    AppendItem(File1, MF_GRAYED, Open1Id, L"Open\tF1");
    AppendItem(File1, MF_GRAYED, Save1Id, L"Save");

    MainMenu1 = NewMenu(false);
    HMENU Commands2 = NewMenu(true);
    AppendItem(Commands2, 0, SendProgram2Id, L"SendProgram\tF9");
    AppendItem(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Commands2), L"Commands");
    AppendItem(MainMenu1, 0, SerialPort1Id, L"Serial Port");

    ACCEL keys[] = {{FVIRTKEY, VK_F9, SendProgram2Id}};
    accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
    if (!accelerators_)
        ThrowLastError("CreateAcceleratorTable");
}

void TForm1::CreateWindowFrame() {
    RegisterFormClass(Form1Class, FormProc<TForm1>, SilverBrush());
    RECT outer{0, 0, form1::ClientWidth, form1::ClientHeight};
    AdjustWindowRectEx(&outer, Form1Style, TRUE, 0);
    const int width = std::clamp<int>(outer.right - outer.left, form1::MinWidth, form1::MaxWidth);
    const int height =
        std::clamp<int>(outer.bottom - outer.top, form1::MinHeight, form1::MaxHeight);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    // The window procedure stores the handle in window_ as it is created.
    if (!CreateWindowExW(0, Form1Class, FromCore(form1::Caption).c_str(), Form1Style, left, top,
                         width, height, nullptr, MainMenu1, GetModuleHandleW(nullptr), this))
        ThrowLastError("CreateWindowEx");
}

void TForm1::BuildControls() {
    Button1 = CreateControl(window_, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, form1::Button1,
                            Button1Id, FromCore(form1::StartCaption).c_str());
    startFont_.ApplyTo(Button1);

    ProgressBar1 = CreateControl(window_, PROGRESS_CLASSW, 0, form1::ProgressBar1);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    SendMessageW(ProgressBar1, PBM_SETPOS, 0, 0);

    // Not docked: it keeps its designed place and height.
    StatusBar1 = CreateControl(window_, STATUSCLASSNAMEW,
                               CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, form1::StatusBar1);
    font_.ApplyTo(StatusBar1);
    SendMessageW(StatusBar1, SB_SETBKCOLOR, 0, Silver);
    int edges[form1::PanelWidths.size()];
    int right = 0;
    for (std::size_t i = 0; i < form1::PanelWidths.size(); ++i)
        edges[i] = right += form1::PanelWidths[i];
    SendMessageW(StatusBar1, SB_SETPARTS, std::size(edges), reinterpret_cast<LPARAM>(edges));
    for (std::size_t i = 0; i < form1::PanelTexts.size(); ++i)
        SendMessageW(StatusBar1, SB_SETTEXTW, i,
                     reinterpret_cast<LPARAM>(FromCore(form1::PanelTexts[i]).c_str()));
}

void TForm1::AddTooltip() {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_)
        ThrowLastError("CreateWindowEx");
    // A notice's whole text wraps instead of running off the screen.
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, NoticeTipWidth);
    std::wstring hint = FromCore(form1::Hint);
    const auto add = [this, &hint](TOOLINFOW info) {
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.uFlags |= TTF_SUBCLASS;
        info.lpszText = hint.data();
        if (!SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)))
            throw std::runtime_error("the window's tooltip could not be added");
    };
    // The controls have no hint of their own, so they show the window's.
    for (HWND tool : {window_, Button1, ProgressBar1}) {
        TOOLINFOW info{};
        info.uFlags = TTF_IDISHWND;
        info.hwnd = window_;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        add(info);
    }
    // A tool per panel, so that panel 1 can show a notice's whole text.
    for (std::size_t i = 0; i < form1::PanelWidths.size(); ++i) {
        TOOLINFOW info{};
        info.hwnd = StatusBar1;
        info.uId = i;
        SendMessageW(StatusBar1, SB_GETRECT, i, reinterpret_cast<LPARAM>(&info.rect));
        add(info);
    }
}

void TForm1::SetPanelTip(int index, const std::wstring& text) {
    std::wstring tip = text.empty() ? FromCore(form1::Hint) : text;
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = StatusBar1;
    info.uId = static_cast<UINT_PTR>(index);
    info.lpszText = tip.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

} // namespace dedarida
