#pragma once

// UiThread on Win32: tasks posted from any thread run in order from the window thread's message
// loop, message boxes included. Tasks queued when close() is called, and later ones, are dropped.

#include "ui/ui_thread.h"
#include "ui/win32/task_window.h"

namespace quorvane::ui {

class Win32UiThread final : public UiThread {
  public:
    // Create on the window's thread. Everything that posts here must be gone before this object.
    Win32UiThread() = default;

    void post(std::function<void()> task) override { tasks_.post(std::move(task)); }

    // Called when the message loop has ended.
    void close() { tasks_.close(); }

  private:
    TaskWindow tasks_;
};

}  // namespace quorvane::ui
