// Looks at the tool's windows from outside, as a test under wine needs:
//   window_probe start-button   screen position of START's centre: "X Y"
//   window_probe message        text of the open message box of the tool
//   window_probe close          asks the main window to close
// Exit status 0 when the window was found, 1 when not, 64 for a wrong command.
#include "app/shared/form_design.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

using namespace dedarida;

constexpr int Button1Id = 1;
// The message box's text control.
constexpr int MessageTextId = 0xFFFF;

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

HWND MainWindow() {
    return FindWindowW(L"TForm1", Wide(form1::Caption).c_str());
}

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    std::string narrow;
    for (std::size_t i = 0; i < copied; ++i)
        narrow += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return narrow;
}

int StartButton() {
    HWND button = GetDlgItem(MainWindow(), Button1Id);
    RECT place;
    if (!button || !GetWindowRect(button, &place))
        return 1;
    std::printf("%ld %ld\n", (place.left + place.right) / 2, (place.top + place.bottom) / 2);
    return 0;
}

int Message() {
    HWND box = FindWindowW(L"#32770", Wide(ApplicationTitle).c_str());
    HWND text = box ? GetDlgItem(box, MessageTextId) : nullptr;
    if (!text)
        return 1;
    std::printf("%s\n", TextOf(text).c_str());
    return 0;
}

int Close() {
    HWND window = MainWindow();
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc == 2 ? argv[1] : "";
    if (command == "start-button")
        return StartButton();
    if (command == "message")
        return Message();
    if (command == "close")
        return Close();
    std::fprintf(stderr, "usage: window_probe start-button|message|close\n");
    return 64;
}
