#include "ui/win32/single_instance.h"

#include "ui/win32/main_window.h"

namespace quorvane::ui {

namespace {
// A first run that holds the mutex but has no window yet is still starting up.
constexpr DWORD kWindowWaitMs = 5000;
constexpr DWORD kPollMs = 50;
}  // namespace

SingleInstance::SingleInstance() {
    mutex_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    // A mutex of another user's elevated run in this session cannot be opened, but it is there.
    const DWORD error = GetLastError();
    first_ = !(error == ERROR_ALREADY_EXISTS || (!mutex_ && error == ERROR_ACCESS_DENIED));
}

SingleInstance::~SingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

bool bringFirstRunToFront() {
    const UINT message = RegisterWindowMessageW(kShowWindowMessageName);
    for (DWORD waited = 0;; waited += kPollMs) {
        if (const HWND window = FindWindowW(MainWindow::kClassName, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            // This start came from the user and may take the foreground; it hands that on.
            if (process) AllowSetForegroundWindow(process);
            return message != 0 && PostMessageW(window, message, 0, 0);
        }
        if (waited >= kWindowWaitMs) return false;
        Sleep(kPollMs);
    }
}

}  // namespace quorvane::ui
