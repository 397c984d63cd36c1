#include "app/win32/form_window.h"

#include "app/win32/win32_error.h"

namespace dedarida {

void RegisterFormClass(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof(type);
    type.lpfnWndProc = procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    type.hbrBackground = background;
    type.lpszClassName = name;
    if (!RegisterClassExW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError("RegisterClassEx");
}

HWND CreateControl(HWND parent, const wchar_t* type, DWORD style, const ControlPlace& place, int id,
                   const wchar_t* text, int height) {
    HWND control = CreateWindowExW(0, type, text, WS_CHILD | WS_VISIBLE | style, place.left,
                                   place.top, place.width, height ? height : place.height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (!control)
        ThrowLastError("CreateWindowEx");
    return control;
}

} // namespace dedarida
