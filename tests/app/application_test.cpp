#include "app_test_support.h"

#include "serial/ecomport.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace dedarida {
namespace {

TEST(ApplicationTest, MainQueueRunsInQtsLoop) {
    std::atomic<bool> ranOnMain = false;
    std::atomic<bool> returned = false;
    std::thread other([&] {
        test::MainQueue().RunAndWait(
            [&] { ranOnMain = QThread::currentThread() == qApp->thread(); });
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 2000));
    other.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(ApplicationTest, PostedErrorReachesTheDefaultErrorBox) {
    test::MessageRecorder messages;
    std::thread other([] {
        test::MainQueue().Post([] { throw EComPort("Unable to open com port: 2"); });
    });
    other.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.boxes.empty(); }, 2000));
    ASSERT_EQ(messages.boxes.size(), 1U);
    EXPECT_EQ(messages.boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.boxes[0].caption, "RU Zededir");
    EXPECT_EQ(messages.boxes[0].text, "Unable to open com port: 2 (No such file or directory)");
}

} // namespace
} // namespace dedarida
