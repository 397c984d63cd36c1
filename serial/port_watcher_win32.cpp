#include "serial/ecomport.h"
#include "serial/list_com_ports.h"
#include "serial/port_watcher.h"

#include <thread>

// <windows.h> first: the device headers build on its types.
// clang-format off
#include <windows.h>
#include <dbt.h>
#include <initguid.h>
// clang-format on

namespace dedarida {

namespace {

// The serial ports' device interface class; mingw's headers lack its name.
DEFINE_GUID(kComPortInterface, 0x86E0D1E0L, 0x8089, 0x11D0, 0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30,
            0x1F, 0x73);

constexpr wchar_t kWindowClass[] = L"dedarida port watcher";

} // namespace

struct PortWatcher::Platform {
    std::function<void()> changed;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    bool failed = false;
    DWORD error = 0;
    std::thread thread;

    static LRESULT CALLBACK Window(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_DEVICECHANGE &&
            (w == DBT_DEVICEARRIVAL || w == DBT_DEVICEREMOVECOMPLETE)) {
            auto* self = reinterpret_cast<Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self)
                self->changed();
            return TRUE;
        }
        return DefWindowProcW(window, message, w, l);
    }

    // Device-change messages reach a window; a message-only one is enough.
    void ListenToDevices() {
        threadId = GetCurrentThreadId();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Window;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr);
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        HDEVNOTIFY notification =
            window ? RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE)
                   : nullptr;
        failed = notification == nullptr;
        error = failed ? GetLastError() : 0;
        if (window)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready);
        if (failed) {
            if (window)
                DestroyWindow(window);
            return;
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        UnregisterDeviceNotification(notification);
        DestroyWindow(window);
    }

    // A folder of links stands for the ports: its changes are theirs.
    void WatchFolder(const std::string& folder) {
        HANDLE change =
            FindFirstChangeNotificationA(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
        failed = change == INVALID_HANDLE_VALUE;
        error = failed ? GetLastError() : 0;
        SetEvent(ready);
        if (failed)
            return;
        const HANDLE waits[2] = {stop, change};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            changed();
            if (!FindNextChangeNotification(change))
                break;
        }
        FindCloseChangeNotification(change);
    }
};

PortWatcher::PortWatcher(std::function<void()> changed) : platform_(std::make_unique<Platform>()) {
    Platform& p = *platform_;
    p.changed = std::move(changed);
    const std::string folder = PortsFolder();
    p.thread = std::thread([&p, folder] {
        if (folder.empty())
            p.ListenToDevices();
        else
            p.WatchFolder(folder);
    });
    WaitForSingleObject(p.ready, INFINITE);
    if (p.failed) {
        p.thread.join();
        CloseHandle(p.stop);
        CloseHandle(p.ready);
        throw EComPort("Cannot watch the serial ports: " + std::to_string(p.error));
    }
}

PortWatcher::~PortWatcher() {
    Platform& p = *platform_;
    SetEvent(p.stop);
    PostThreadMessageW(p.threadId, WM_QUIT, 0, 0);
    p.thread.join();
    CloseHandle(p.stop);
    CloseHandle(p.ready);
}

} // namespace dedarida
