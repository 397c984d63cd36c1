#include "app/qt/application.h"

#include "app/qt/message_box.h"
#include "app/shared/guarded.h"

#include <exception>

namespace dedarida {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), queue_([this] {
          QMetaObject::invokeMethod(
              this, [this] { RunGuarded([this] { queue_.RunQueued(); }); }, Qt::QueuedConnection);
      }) {
    // Only the name: a display name would be appended to every window caption.
    setApplicationName(Title);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(error);
    }
    return false;
}

} // namespace dedarida
