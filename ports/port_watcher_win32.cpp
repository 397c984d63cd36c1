#include "ports/com_port_interface_win32.h"
#include "ports/list_com_ports.h"
#include "ports/port_watcher.h"
#include "ports/port_watcher_window_win32.h"
#include "serial/ecomport.h"
#include "system/event_fd.h"
#include "system/system_handle_win32.h"

#include <algorithm>
#include <chrono>
#include <dbt.h>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <windows.h>

namespace dedarida {

namespace {

// A message-only window registered for the arrival and removal of COM port
// interfaces. Its procedure only takes note: `changed` runs after the message
// is handled, so the system's sender never waits on it.
class DeviceWindow {
public:
    DeviceWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kPortWatcherWindowClass;
        // Every watcher of the process shares the class.
        if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return;
        window_ = CreateWindowExW(0, kPortWatcherWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
        if (window_ == nullptr)
            return;
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&changes_));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        notification_ = RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    DeviceWindow(const DeviceWindow&) = delete;
    DeviceWindow& operator=(const DeviceWindow&) = delete;
    ~DeviceWindow() {
        if (notification_ != nullptr)
            UnregisterDeviceNotification(notification_);
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    bool Listening() const { return notification_ != nullptr; }

    struct Changes {
        bool any = false;
        bool arrival = false;
    };
    // Handles the messages that have come: whether a port came or went.
    Changes HandleMessages() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        return std::exchange(changes_, Changes{});
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_DEVICECHANGE &&
            (w == DBT_DEVICEARRIVAL || w == DBT_DEVICEREMOVECOMPLETE)) {
            if (auto* changes =
                    reinterpret_cast<Changes*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
                changes->any = true;
                changes->arrival = changes->arrival || w == DBT_DEVICEARRIVAL;
            }
            return TRUE;
        }
        return DefWindowProcW(window, message, w, l);
    }

    HWND window_ = nullptr;
    HDEVNOTIFY notification_ = nullptr;
    Changes changes_;
};

// A port's arrival may be told before SetupAPI has its details (its USB
// adapter, its COM name): the watcher tells of it once more after this.
constexpr auto kLookAgain = std::chrono::milliseconds(500);

using FolderChanges = SystemHandle<HANDLE, &FindCloseChangeNotification>;

// What the watcher's thread tells once it listens, or the system's error
// when it cannot.
using Started = std::promise<std::optional<DWORD>>;

std::optional<DWORD> FailureUnless(bool listening) {
    return listening ? std::nullopt : std::optional<DWORD>(GetLastError());
}

// Both run on the watcher's thread until `stop` is set.
void ListenToDevices(HANDLE stop, Started& started, const std::function<void()>& changed) {
    DeviceWindow window;
    started.set_value(FailureUnless(window.Listening()));
    if (!window.Listening())
        return;
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lookAgain;
    for (;;) {
        DWORD waitMs = INFINITE;
        if (lookAgain)
            waitMs = static_cast<DWORD>(std::max<Clock::rep>(
                0,
                std::chrono::ceil<std::chrono::milliseconds>(*lookAgain - Clock::now()).count()));
        // The system sends its device messages; waking for them
        // (QS_SENDMESSAGE is in QS_ALLINPUT) and peeking handles them.
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &stop, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_TIMEOUT) {
            lookAgain.reset();
            changed();
            continue;
        }
        if (woken != WAIT_OBJECT_0 + 1)
            return;
        const DeviceWindow::Changes changes = window.HandleMessages();
        if (changes.arrival)
            lookAgain = Clock::now() + kLookAgain;
        if (changes.any)
            changed();
    }
}

// A folder of links stands for the ports: its changes are theirs.
void WatchFolder(HANDLE stop, const std::wstring& folder, Started& started,
                 const std::function<void()>& changed) {
    const FolderChanges changes(FindFirstChangeNotificationW(
        folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME));
    started.set_value(FailureUnless(changes.Valid()));
    if (!changes.Valid())
        return;
    const HANDLE waits[2] = {stop, changes.Get()};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        // Re-armed first, a change made while `changed` runs is not missed.
        if (!FindNextChangeNotification(changes.Get()))
            return;
        changed();
    }
}

} // namespace

struct PortWatcher::Platform {
    // Every wait of the watcher's thread ends when this is set.
    EventFd stop;
    std::thread thread;
};

PortWatcher::PortWatcher(std::function<void()> changed) : platform_(std::make_unique<Platform>()) {
    const std::string folder = PortsFolder();
    // Named as the folder's listing names it.
    const std::wstring wideFolder = std::filesystem::path(folder).wstring();
    Started started;
    std::future<std::optional<DWORD>> failure = started.get_future();
    platform_->thread =
        std::thread([stop = LongToHandle(platform_->stop.Fd()), wideFolder,
                     started = std::move(started), changed = std::move(changed)]() mutable {
            if (wideFolder.empty())
                ListenToDevices(stop, started, changed);
            else
                WatchFolder(stop, wideFolder, started, changed);
        });
    if (const std::optional<DWORD> error = failure.get()) {
        platform_->thread.join();
        throw EComPort(folder.empty()
                           ? "Cannot watch the serial ports: " + std::to_string(*error)
                           : "Cannot watch the folder " + folder + ": " + std::to_string(*error));
    }
}

PortWatcher::~PortWatcher() {
    platform_->stop.Set();
    platform_->thread.join();
}

} // namespace dedarida
