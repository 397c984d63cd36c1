#include "app/qt/window_lifeline.h"

#include <QCoreApplication>
#include <xcb/xcb.h>

namespace dedarida {

WindowLifeline::WindowLifeline(QWidget& window) : window_(window.winId()) {}

bool WindowLifeline::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    // With the top bit set another client sent it, and nothing was destroyed.
    if (event->response_type != XCB_DESTROY_NOTIFY)
        return false;
    if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == window_)
        QCoreApplication::exit(WindowLostStatus);
    return false;
}

} // namespace dedarida
