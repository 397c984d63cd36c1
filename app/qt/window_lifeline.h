#pragma once

#include <QAbstractNativeEventFilter>
#include <QWidget>

namespace dedarida {

// The exit status when the main window is destroyed from outside, as Qt's own
// for a lost X connection.
inline constexpr int WindowLostStatus = 1;

// While it lives, the application ends (every event loop, a modal box's too)
// when the X server destroys `window`'s native window on another client's
// request: Qt would otherwise go on without it, holding the port. Install it
// on the application once `window` is shown.
class WindowLifeline : public QAbstractNativeEventFilter {
public:
    explicit WindowLifeline(QWidget& window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    WId window_;
};

} // namespace dedarida
