#pragma once

#include "app/shared/error_box.h"
#include "upgrade/programmer_window.h"

#include <QString>
#include <functional>

class QWidget;

namespace dedarida {

// Every modal message of the window goes through here: one OK button, the
// information or the error kind. Main thread only.
void ShowMessageBox(QWidget* parent, MessageKind kind, const QString& caption, const QString& text);

// The default error box (see error_box.h) for a text of the window's own.
void ShowErrorBox(const QString& text);

// Replaces what ShowMessageBox does (tests record instead of blocking in a
// modal box); returns the handler it replaces. An empty handler restores the
// real boxes.
using MessageBoxHandler = std::function<void(QWidget* parent, MessageKind kind,
                                             const QString& caption, const QString& text)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace dedarida
