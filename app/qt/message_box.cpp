#include "app/qt/message_box.h"

#include "ports/port_diagnosis.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <utility>

namespace dedarida {

namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

void ShowMessageBox(QWidget* parent, MessageKind kind, const QString& caption,
                    const QString& text) {
    if (Handler()) {
        Handler()(parent, kind, caption, text);
        return;
    }
    if (kind == MessageKind::Error)
        QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
    else
        QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

void ShowErrorBox(const QString& text) {
    ShowMessageBox(nullptr, MessageKind::Error, QCoreApplication::applicationName(), text);
}

void ShowErrorBox(const std::exception& error) {
    ShowErrorBox(QString::fromLocal8Bit(InWords(error)));
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

} // namespace dedarida
