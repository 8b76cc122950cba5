#include "ui/win32/task_window.h"

#include <utility>

namespace quorvane::ui {

namespace {

constexpr wchar_t kClassName[] = L"QuorvaneTaskWindow";
constexpr UINT kWakeMessage = WM_APP + 0x51;

void registerClassOnce(WNDPROC procedure) {
    static std::once_flag once;
    std::call_once(once, [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    });
}

}  // namespace

TaskWindow::TaskWindow() : ownerThread_(GetCurrentThreadId()) {
    registerClassOnce(&TaskWindow::procedure);
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TaskWindow::~TaskWindow() {
    close();
    if (window_) DestroyWindow(window_);
}

bool TaskWindow::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (closed_ || !window_) return false;
    tasks_.push_back(std::move(task));
    if (!wakePosted_) wakePosted_ = PostMessageW(window_, kWakeMessage, 0, 0) != FALSE;
    return true;
}

void TaskWindow::close() {
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(tasks_);
}

void TaskWindow::runQueued() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            wakePosted_ = false;
            if (closed_ || tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // One at a time: a task may open a message box whose loop runs the later ones.
        task();
    }
}

LRESULT CALLBACK TaskWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWakeMessage) {
        auto* self = reinterpret_cast<TaskWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) self->runQueued();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quorvane::ui
