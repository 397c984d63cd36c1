#pragma once

#include "upgrade/programmer_window.h"

#include <exception>
#include <functional>
#include <string>
#include <windows.h>

namespace dedarida {

// Every modal message of the window goes through here: one OK button, the
// information or the error kind, modal to `owner` (none: to the thread's
// active window). Main thread only.
void ShowMessageBox(HWND owner, MessageKind kind, const std::wstring& caption,
                    const std::wstring& text);

// The default error box for an error nobody else caught: the application's
// title as caption, the error icon, the error's text.
void ShowErrorBox(const std::wstring& text);
void ShowErrorBox(const std::exception& error);

// Runs `action`; an exception it throws is shown in the default error box
// instead of unwinding through the system's window code. Main thread only.
void RunGuarded(const std::function<void()>& action);

} // namespace dedarida
