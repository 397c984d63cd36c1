#include "ports/list_com_ports.h"
#include "ports/port_watcher.h"
#include "serial/ecomport.h"
#include "tests/image/temp_dir.h"
#include "tests/serial/scoped_variable.h"
#include "tests/serial/watcher_calls.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dedarida {
namespace {

using test::ScopedVariable;
using test::WatcherCalls;

// The folder stands for the system's ports while the test runs.
class FolderPortWatcher : public ::testing::Test {
protected:
    test::TempDir folder_;
    ScopedVariable variable_{PortsFolderVariable, folder_.Path("")};
};

TEST_F(FolderPortWatcher, PortComing) {
    WatcherCalls calls;
    PortWatcher watcher(calls.Counter());
    folder_.Write("0403_6001_A1B2C3@1-1.2", "");
    EXPECT_TRUE(calls.WaitFor(1));
}

TEST_F(FolderPortWatcher, PortGoingAfterAnother) {
    const std::string port = folder_.Write("0403_6001_A1B2C3", "");
    WatcherCalls calls;
    PortWatcher watcher(calls.Counter());
    folder_.Write("0403_6001_D4E5F6", "");
    ASSERT_TRUE(calls.WaitFor(1));
    std::filesystem::remove(port);
    EXPECT_TRUE(calls.WaitFor(2));
}

// The folder's listing takes every entry for a port, a folder too.
TEST_F(FolderPortWatcher, FolderEntryComing) {
    WatcherCalls calls;
    PortWatcher watcher(calls.Counter());
    std::filesystem::create_directory(folder_.Path("0403_6001_A1B2C3"));
    EXPECT_TRUE(calls.WaitFor(1));
}

TEST_F(FolderPortWatcher, DestroyedPromptly) {
    WatcherCalls calls;
    auto watcher = std::make_unique<PortWatcher>(calls.Counter());
    EXPECT_TRUE(test::DestroyedPromptly(std::move(watcher)));
}

TEST(PortWatcher, MissingFolderRaises) {
    const test::TempDir parent;
    const ScopedVariable variable(PortsFolderVariable, parent.Path("absent"));
    EXPECT_THROW(PortWatcher([] {}), EComPort);
}

} // namespace
} // namespace dedarida
