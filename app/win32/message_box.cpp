#include "app/win32/message_box.h"

#include "app/shared/form_design.h"
#include "app/win32/wide_text.h"
#include "ports/port_diagnosis.h"

namespace dedarida {

void ShowMessageBox(HWND owner, MessageKind kind, const std::wstring& caption,
                    const std::wstring& text) {
    const UINT icon = kind == MessageKind::Error ? MB_ICONERROR : MB_ICONINFORMATION;
    MessageBoxW(owner ? owner : GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | icon);
}

void ShowErrorBox(const std::wstring& text) {
    ShowMessageBox(nullptr, MessageKind::Error, FromCore(ApplicationTitle), text);
}

void ShowErrorBox(const std::exception& error) {
    ShowErrorBox(FromSystem(InWords(error)));
}

} // namespace dedarida
