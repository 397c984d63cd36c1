#pragma once

#include "app/shared/error_box.h"
#include "upgrade/programmer_window.h"

#include <string>
#include <windows.h>

namespace dedarida {

// Every modal message of the window goes through here: one OK button, the
// information or the error kind, modal to `owner` (none: to the thread's
// active window). Main thread only.
void ShowMessageBox(HWND owner, MessageKind kind, const std::wstring& caption,
                    const std::wstring& text);

// The default error box (see error_box.h) for a text of the window's own.
void ShowErrorBox(const std::wstring& text);

} // namespace dedarida
