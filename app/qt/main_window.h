#pragma once

#include "app/shared/form_design.h"
#include "upgrade/programmer.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace dedarida {

class FirmwareFile;
class TForm2;

// Form1, the main window: its controls and menus, each event handed to the
// upgrade controller, which it creates (Init) with it and closes (CloseAll)
// before it goes. The window side of the controller is thread-safe: calls from
// other threads are posted to the main thread. Everything else: main thread.
class TForm1 : public QMainWindow, public ProgrammerWindow {
public:
    static constexpr const char* Caption = form1::Caption;

    explicit TForm1(MainThread& main);
    ~TForm1() override;

    Programmer& Controller() { return programmer_; }

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

    // The File menu's commands.
    void Open1Click();
    void Converti();
    void Save1Click();

private:
    void BuildControls();
    void BuildMenus();
    void WireSignals();
    // Runs `update` on the main thread: at once there, posted from elsewhere.
    void OnMainThread(std::function<void()> update);

    QPushButton* Button1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    std::array<QLabel*, 3> panels_{};
    QTimer* Timer1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QMenu* Commands2 = nullptr;
    QAction* SendProgram2 = nullptr;
    QAction* SerialPort1 = nullptr;

    TForm2* portDialog_ = nullptr;
    std::unique_ptr<FirmwareFile> firmwareFile_;
    // Last: it reaches the controls above until CloseAll has run.
    Programmer programmer_;
};

} // namespace dedarida
