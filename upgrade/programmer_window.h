#pragma once

#include "link/status_panels.h"

#include <string>

namespace dedarida {

class TComPort;

enum class MessageKind { Information, Error };

// What the upgrade controller needs from the main window. The window (Qt, or
// the headless stand-in) implements it.
//
// Threads: SetPanelText, ShowNotice, SetProgress, SetStartEnabled and
// SetTimerEnabled may be called from any thread (other threads' updates are
// posted to the main thread). ShowMessage, ShowError and ShowPortDialog run on
// the main thread only and are modal: they return once the box is dismissed.
class ProgrammerWindow : public StatusPanels {
public:
    // Panel 1 for a problem the technician must act on: `brief` fits the
    // panel, `whole` (what happened and what to do) is its tooltip until
    // panel 1 shows another text.
    virtual void ShowNotice(const std::string& brief, const std::string& whole) = 0;
    // ProgressBar1, 0 to 100.
    virtual void SetProgress(int position) = 0;
    // Button1, START.
    virtual void SetStartEnabled(bool enabled) = 0;
    // Timer1: while enabled, the window calls Programmer::Timeout every 1000 ms.
    virtual void SetTimerEnabled(bool enabled) = 0;
    // A modal message with one OK button; returns once it is dismissed.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
    // An error nothing else handled: the application's default error box
    // (caption the application title, error icon, the error's text).
    virtual void ShowError(const std::string& text) = 0;
    // The port selection dialog (ShowPropForm): may change Port and BaudRate.
    virtual void ShowPortDialog(TComPort& port) = 0;
};

} // namespace dedarida
