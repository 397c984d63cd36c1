#include "ports/com_port_interface_win32.h"
#include "ports/list_com_ports.h"
#include "ports/port_watcher.h"
#include "ports/port_watcher_window_win32.h"
#include "tests/serial/watcher_calls.h"

#include <dbt.h>
#include <gtest/gtest.h>
#include <windows.h>

namespace dedarida {
namespace {

using test::WatcherCalls;

// Wine has no plug-and-play serial ports, so the test plays the system and
// sends the messages a port's coming and going bring.
void SendPortMessage(WPARAM event) {
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kPortWatcherWindowClass, nullptr);
    ASSERT_NE(window, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_W port{};
    port.dbcc_size = sizeof port;
    port.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    port.dbcc_classguid = kComPortInterface;
    const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(test::kWatcherBound);
    EXPECT_NE(SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&port),
                                  SMTO_NORMAL, static_cast<UINT>(bound.count()), nullptr),
              0);
}

class Win32PortWatcher : public ::testing::Test {
protected:
    Win32PortWatcher() { _putenv_s(PortsFolderVariable, ""); }
};

TEST_F(Win32PortWatcher, DestroyedPromptly) {
    WatcherCalls calls;
    auto watcher = std::make_unique<PortWatcher>(calls.Counter());
    EXPECT_TRUE(test::DestroyedPromptly(std::move(watcher)));
}

// An arrival is told twice: SetupAPI may not know the port's details yet
// when the system tells of it, so the watcher looks again a moment later.
TEST_F(Win32PortWatcher, PortArrivingAndLeaving) {
    WatcherCalls calls;
    const PortWatcher watcher(calls.Counter());
    SendPortMessage(DBT_DEVICEARRIVAL);
    ASSERT_TRUE(calls.WaitFor(1));
    ASSERT_TRUE(calls.WaitFor(2)) << "no second look after the arrival";
    SendPortMessage(DBT_DEVICEREMOVECOMPLETE);
    EXPECT_TRUE(calls.WaitFor(3));
}

TEST_F(Win32PortWatcher, TwoAtOnce) {
    WatcherCalls first;
    WatcherCalls second;
    auto one = std::make_unique<PortWatcher>(first.Counter());
    auto two = std::make_unique<PortWatcher>(second.Counter());
    EXPECT_TRUE(test::DestroyedPromptly(std::move(one)));
    EXPECT_TRUE(test::DestroyedPromptly(std::move(two)));
}

} // namespace
} // namespace dedarida
