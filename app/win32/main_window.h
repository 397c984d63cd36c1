#pragma once

#include "app/win32/form_font.h"
#include "upgrade/programmer.h"

#include <functional>
#include <string>
#include <windows.h>

namespace dedarida {

class TForm2;

// Form1, the main window: its controls and menus, each event handed to the
// upgrade controller, which it creates (Init) with it and closes (CloseAll)
// when it goes; the window's destruction ends the message loop. The window
// side of the controller is thread-safe: calls from other threads are posted
// to the main thread. Everything else: main thread.
class TForm1 : public ProgrammerWindow {
public:
    explicit TForm1(MainThread& main);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    Programmer& Controller() { return programmer_; }
    HWND Handle() const { return window_; }
    // F9 and the other shortcuts, for the message loop.
    HACCEL Accelerators() const { return accelerators_; }
    void Show();

    // The dialog that Serial Port shows; it is created after this window.
    void SetPortDialog(TForm2* dialog) { portDialog_ = dialog; }

    void SetPanelText(int index, const std::string& text) override;
    void ShowNotice(const std::string& brief, const std::string& whole) override;
    void SetProgress(int position) override;
    void SetStartEnabled(bool enabled) override;
    void SetTimerEnabled(bool enabled) override;
    void ShowMessage(MessageKind kind, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowPortDialog(TComPort& port) override;

private:
    template <typename Form> friend LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
    void Attach(HWND window) { window_ = window; }
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateWindowFrame();
    void BuildControls();
    void BuildMenus();
    void AddTooltip();
    // Panel `index`'s tooltip: `text`, or the window's hint when empty.
    void SetPanelTip(int index, const std::wstring& text);
    void Command(int id);
    void PaintBevel();
    // Runs `update` on the main thread: at once there, posted from elsewhere.
    void OnMainThread(std::function<void()> update);

    MainThread& main_;
    FormFont font_;
    FormFont startFont_;
    HWND window_ = nullptr;
    HWND Button1 = nullptr;
    HWND ProgressBar1 = nullptr;
    HWND StatusBar1 = nullptr;
    HWND tooltip_ = nullptr;
    HMENU MainMenu1 = nullptr;
    // Hidden (never in the menu bar) and disabled for the whole run.
    HMENU File1 = nullptr;
    HACCEL accelerators_ = nullptr;

    TForm2* portDialog_ = nullptr;
    // Last: it reaches the controls above until CloseAll has run.
    Programmer programmer_;
};

} // namespace dedarida
