#include "app/win32/application.h"

#include "app/shared/guarded.h"
#include "app/win32/form_window.h"
#include "app/win32/message_box.h"
#include "app/win32/win32_error.h"

#include <commctrl.h>
#include <stdexcept>

namespace dedarida {

namespace {

constexpr wchar_t QueueClass[] = L"DedaridaMainQueue";
constexpr UINT WM_RUNQUEUED = WM_APP + 1;

HWND CreateQueueWindow(WNDPROC procedure) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                        ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    if (!InitCommonControlsEx(&controls))
        throw std::runtime_error("InitCommonControlsEx failed");
    RegisterFormClass(QueueClass, procedure, nullptr);
    // A message-only window: it is never shown and gets no broadcasts.
    HWND window = CreateWindowExW(0, QueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window)
        ThrowLastError("CreateWindowEx");
    return window;
}

} // namespace

Application::Application()
    : queueWindow_(CreateQueueWindow(QueueProc)), queue_([this] { Wake(); }) {
    SetWindowLongPtrW(queueWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Application::~Application() {
    DestroyWindow(queueWindow_);
}

void Application::Wake() {
    if (wakePending_.exchange(true))
        return;
    if (!PostMessageW(queueWindow_, WM_RUNQUEUED, 0, 0)) {
        wakePending_ = false;
        ThrowLastError("PostMessage");
    }
}

LRESULT CALLBACK Application::QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_RUNQUEUED)
        return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
        // Cleared first: a routine queued while these run posts a new wake.
        self->wakePending_ = false;
        RunGuarded([self] { self->queue_.RunQueued(); });
    }
    return 0;
}

int Application::Run(HWND mainWindow, HACCEL accelerators) {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got < 0)
            ThrowLastError("GetMessage");
        const bool forMain = message.hwnd && GetAncestor(message.hwnd, GA_ROOT) == mainWindow;
        if (forMain && TranslateAcceleratorW(mainWindow, accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

} // namespace dedarida
