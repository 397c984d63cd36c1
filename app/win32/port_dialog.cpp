#include "app/win32/port_dialog.h"

#include "app/shared/form_design.h"
#include "app/shared/port_choice.h"
#include "app/win32/form_window.h"
#include "app/win32/message_box.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_error.h"
#include "ports/list_com_ports.h"
#include "serial/comport.h"

#include <string>
#include <utility>
#include <vector>

namespace dedarida {

namespace {

constexpr wchar_t Form2Class[] = L"TForm2";
constexpr int Button1Id = 1;
// Room for the dropped-down list below the selection field.
constexpr int DroppedListHeight = 120;
constexpr DWORD Form2Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD Form2ExStyle = WS_EX_DLGMODALFRAME;

HWND Child(HWND parent, const wchar_t* type, DWORD style, const ControlPlace& place, int id,
           const wchar_t* text, const FormFont& font, int height = 0) {
    HWND control = CreateControl(parent, type, WS_TABSTOP | style, place, id, text, height);
    font.ApplyTo(control);
    return control;
}

HWND DropDownList(HWND parent, const ControlPlace& place, const FormFont& font) {
    // Not editable: the user picks one of the items.
    return Child(parent, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, place, 0, nullptr, font,
                 place.height + DroppedListHeight);
}

std::wstring SelectedText(HWND list) {
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return {};
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace

TForm2::TForm2(HWND owner) : owner_(owner), font_(WindowFontHeight) {
    RegisterFormClass(Form2Class, FormProc<TForm2>, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RECT outer{0, 0, form2::ClientWidth, form2::ClientHeight};
    AdjustWindowRectEx(&outer, Form2Style, FALSE, Form2ExStyle);
    if (!CreateWindowExW(Form2ExStyle, Form2Class, FromCore(form2::Caption).c_str(), Form2Style,
                         form2::Left, form2::Top, outer.right - outer.left,
                         outer.bottom - outer.top, owner, nullptr, GetModuleHandleW(nullptr), this))
        ThrowLastError("CreateWindowEx");
    for (const auto& [place, caption] : {std::pair{form2::Label1, form2::Label1Caption},
                                         std::pair{form2::Label2, form2::Label2Caption}})
        font_.ApplyTo(
            CreateControl(window_, L"STATIC", SS_LEFT, place, 0, FromCore(caption).c_str(), 0));
    ComboBox1 = DropDownList(window_, form2::ComboBox1, font_);
    ComboBox2 = DropDownList(window_, form2::ComboBox2, font_);
    for (const char* item : form2::BaudItems)
        SendMessageW(ComboBox2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromCore(item).c_str()));
    Button1 = Child(window_, L"BUTTON", BS_DEFPUSHBUTTON, form2::Button1, Button1Id,
                    FromCore(form2::OkCaption).c_str(), font_);
}

TForm2::~TForm2() {
    if (window_)
        DestroyWindow(window_);
}

LRESULT TForm2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == Button1Id && HIWORD(wParam) == BN_CLICKED)
            Button1Click();
        // Esc, through the dialog keys: like the close box.
        else if (LOWORD(wParam) == IDCANCEL)
            modalResult_ = mrCancel;
        return 0;
    case WM_CLOSE:
        // The close box and Alt+F4 end the dialog with a result other than OK.
        modalResult_ = mrCancel;
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void TForm2::Button1Click() {
    modalResult_ = mrOk;
}

TForm2::ModalResult TForm2::ShowModal() {
    modalResult_ = mrNone;
    EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetFocus(Button1);
    MSG message;
    while (modalResult_ == mrNone) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The quit message belongs to the main loop: hand it back.
            if (got == 0)
                PostQuitMessage(static_cast<int>(message.wParam));
            modalResult_ = mrCancel;
            break;
        }
        if (IsDialogMessageW(window_, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The owner first, so that it, not another program, becomes active.
    EnableWindow(owner_, TRUE);
    ShowWindow(window_, SW_HIDE);
    return modalResult_;
}

void TForm2::FillPortList() {
    std::vector<std::string> names;
    ListComPorts(names);
    SendMessageW(ComboBox1, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : names)
        SendMessageW(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromCore(name).c_str()));
}

void TForm2::ShowPropForm(TComPort& port) {
    FillPortList();
    const auto count = static_cast<int>(SendMessageW(ComboBox1, CB_GETCOUNT, 0, 0));
    SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(InitialPortIndex(port, count)), 0);
    SendMessageW(ComboBox2, CB_SETCURSEL, 0, 0);

    if (ShowModal() != mrOk)
        return;
    const auto baudIndex = static_cast<int>(SendMessageW(ComboBox2, CB_GETCURSEL, 0, 0));
    if (!ApplyPortChoice(port, ToCore(SelectedText(ComboBox1)), baudIndex))
        ShowMessageBox(owner_, MessageKind::Information, FromCore(form2::NotAvailableCaption),
                       FromCore(form2::NotAvailableText));
}

} // namespace dedarida
