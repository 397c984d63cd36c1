// Looks at the tool's windows from outside, as a test under wine needs:
//   window_probe start-button   screen position of START's centre: "X Y"
//   window_probe message        text of the open message box of the tool
//   window_probe panel N        text of status panel N
//   window_probe panel-tip N    tooltip of status panel N
//   window_probe close          asks the main window to close
//   window_probe station-close  asks the station window to close
//   window_probe station-question  text of the station window's open question
//   window_probe station-answer yes|no  answers that question
// Exit status 0 when the window was found, 1 when not, 64 for a wrong command.
#include "app/shared/form_design.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

namespace {

using namespace dedarida;

constexpr int Button1Id = 1;
// The message box's text control.
constexpr int MessageTextId = 0xFFFF;
constexpr wchar_t StationClass[] = L"DedaridaStation";
constexpr wchar_t StationCaption[] = L"Dedarida Station";

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

HWND MainWindow() {
    return FindWindowW(L"TForm1", Wide(form1::Caption).c_str());
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    text[std::min<std::size_t>(copied, std::size(text) - 1)] = 0;
    return Narrow(text);
}

// Memory in the tool's process, for the control messages that pass a
// pointer: the system copies only the standard messages' data across.
class RemoteBlock {
public:
    static constexpr SIZE_T Size = 4096;

    explicit RemoteBlock(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            address_ = static_cast<char*>(
                VirtualAllocEx(process_, nullptr, Size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBlock() {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* Address() const { return address_; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
        return WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const {
        return ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    char* address_ = nullptr;
};

// Sends `message` with `lParam` pointing at the remote block; its wide text
// at `textOffset` afterwards, or nothing when the window did not answer.
bool RemoteText(HWND window, UINT message, WPARAM wParam, const RemoteBlock& block,
                SIZE_T textOffset, std::string& text) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(block.Address()),
                             SMTO_ABORTIFHUNG, 2000, &result))
        return false;
    wchar_t wide[(RemoteBlock::Size - 512) / sizeof(wchar_t)] = {};
    if (!block.Read(textOffset, wide, sizeof(wide) - sizeof(wchar_t)))
        return false;
    text = Narrow(wide);
    return true;
}

HWND StatusBar() {
    return FindWindowExW(MainWindow(), nullptr, STATUSCLASSNAMEW, nullptr);
}

int Panel(int index) {
    HWND bar = StatusBar();
    if (!bar)
        return 1;
    RemoteBlock block(bar);
    std::string text;
    if (!block.Address() || !RemoteText(bar, SB_GETTEXTW, index, block, 0, text))
        return 1;
    std::printf("%s\n", text.c_str());
    return 0;
}

// The main window's tooltip control: a top-level window it owns.
HWND Tooltip() {
    HWND main = MainWindow();
    for (HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tip;
         tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr))
        if (GetWindow(tip, GW_OWNER) == main)
            return tip;
    return nullptr;
}

int PanelTip(int index) {
    HWND tip = Tooltip();
    HWND bar = StatusBar();
    if (!tip || !bar)
        return 1;
    RemoteBlock block(tip);
    if (!block.Address())
        return 1;
    constexpr SIZE_T textOffset = 512;
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = bar;
    info.uId = static_cast<UINT_PTR>(index);
    info.lpszText = reinterpret_cast<wchar_t*>(block.Address() + textOffset);
    const wchar_t none = 0;
    std::string text;
    if (!block.Write(0, &info, sizeof(info)) || !block.Write(textOffset, &none, sizeof(none)) ||
        !RemoteText(tip, TTM_GETTEXTW, (RemoteBlock::Size - textOffset) / sizeof(wchar_t), block,
                    textOffset, text))
        return 1;
    std::printf("%s\n", text.c_str());
    return 0;
}

int StartButton() {
    HWND button = GetDlgItem(MainWindow(), Button1Id);
    RECT place;
    if (!button || !GetWindowRect(button, &place))
        return 1;
    std::printf("%ld %ld\n", (place.left + place.right) / 2, (place.top + place.bottom) / 2);
    return 0;
}

int Message(const std::wstring& caption) {
    HWND box = FindWindowW(L"#32770", caption.c_str());
    HWND text = box ? GetDlgItem(box, MessageTextId) : nullptr;
    if (!text)
        return 1;
    std::printf("%s\n", TextOf(text).c_str());
    return 0;
}

int Close(HWND window) {
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

// Clicks the button of the station's question as the operator would.
int Answer(const std::string& answer) {
    HWND box = FindWindowW(L"#32770", StationCaption);
    const int id = answer == "yes" ? IDYES : IDNO;
    HWND button = box ? GetDlgItem(box, id) : nullptr;
    return button && PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button))
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    if (argc == 3 && command == "panel")
        return Panel(std::atoi(argv[2]));
    if (argc == 3 && command == "panel-tip")
        return PanelTip(std::atoi(argv[2]));
    if (argc == 2 && command == "start-button")
        return StartButton();
    if (argc == 2 && command == "message")
        return Message(Wide(ApplicationTitle));
    if (argc == 2 && command == "close")
        return Close(MainWindow());
    if (argc == 2 && command == "station-close")
        return Close(FindWindowW(StationClass, StationCaption));
    if (argc == 2 && command == "station-question")
        return Message(StationCaption);
    if (argc == 3 && command == "station-answer" &&
        (std::string(argv[2]) == "yes" || std::string(argv[2]) == "no"))
        return Answer(argv[2]);
    std::fprintf(stderr, "usage: window_probe start-button|message|panel N|panel-tip N|close|"
                         "station-close|station-question|station-answer yes|no\n");
    return 64;
}
