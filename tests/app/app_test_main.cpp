#include "app/qt/application.h"

#include <QByteArray>
#include <gtest/gtest.h>

// The window tests share one application object, the one the tool runs with.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    dedarida::Application application(argc, argv);
    return RUN_ALL_TESTS();
}
