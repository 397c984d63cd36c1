#pragma once

#include "app/shared/form_design.h"
#include "app/shared/guarded.h"

#include <windows.h>

namespace dedarida {

// Registers the window class `name` once per process, with `procedure` and
// the `background` brush, which must live as long as the process.
void RegisterFormClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

// A visible child control of `parent` at its designed place; `height`
// replaces the designed height where the control needs more room.
HWND CreateControl(HWND parent, const wchar_t* type, DWORD style, const ControlPlace& place,
                   int id = 0, const wchar_t* text = nullptr, int height = 0);

// The window procedure of a form class: the object passed as the creation
// parameter gets Attach(window) at creation, Handle for every message
// (guarded: an error shows the default error box), and Attach(nullptr) when
// the window is gone. Form befriends it.
template <typename Form>
LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created =
            static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->Attach(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->Attach(nullptr);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    RunGuarded([&] { result = form->Handle(message, wParam, lParam); });
    return result;
}

} // namespace dedarida
