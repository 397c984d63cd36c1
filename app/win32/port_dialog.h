#pragma once

#include "app/win32/form_font.h"

#include <windows.h>

namespace dedarida {

class TComPort;

// Form2, the port selection dialog: created hidden once and reused, modal to
// its owner while shown. Main thread only.
class TForm2 {
public:
    explicit TForm2(HWND owner);
    ~TForm2();
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    HWND Handle() const { return window_; }

    // Lists the ports present, shows the dialog modally and, on OK, sets Port
    // and BaudRate of `port` from the chosen items. Raises EConvertError when
    // the chosen item names no number; shows "Port Not Available" for
    // numbers from 10 on. Either way `port` is left as it was.
    void ShowPropForm(TComPort& port);

    // OK: ends the dialog with the result OK.
    void Button1Click();

private:
    enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

    template <typename Form> friend LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
    void Attach(HWND window) { window_ = window; }
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Shows the dialog, runs the messages until it has a result, hides it.
    ModalResult ShowModal();
    void FillPortList();

    HWND owner_;
    FormFont font_;
    HWND window_ = nullptr;
    HWND ComboBox1 = nullptr;
    HWND ComboBox2 = nullptr;
    HWND Button1 = nullptr;
    ModalResult modalResult_ = mrNone;
};

} // namespace dedarida
