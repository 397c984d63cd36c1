#include "app/qt/no_display.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace dedarida {

const char* const NoDisplayText =
    "no display: use --upgrade --port PORT for the headless mode, or set DISPLAY";

namespace {

QtMessageHandler previousHandler = nullptr;

void ExitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        previousHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", NoDisplayText);
    std::fflush(stderr);
    std::_Exit(NoDisplayStatus);
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

} // namespace

bool DisplayNamed() {
    return Named("DISPLAY") || Named("WAYLAND_DISPLAY") || Named("QT_QPA_PLATFORM");
}

NoDisplayExit::NoDisplayExit() {
    previousHandler = qInstallMessageHandler(ExitOnFatal);
}

NoDisplayExit::~NoDisplayExit() {
    qInstallMessageHandler(previousHandler);
}

} // namespace dedarida
