#pragma once

// Runs tasks, in the order they were queued, on the thread that created it, from that thread's
// message loop; any thread may queue them. A message-only window carries the wake-up, so modal
// loops (message boxes) run the tasks as well, which thread messages would lose.

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "ui/worker_call_gate.h"

namespace quorvane::ui {

class TaskWindow final : public WindowThreadQueue {
  public:
    TaskWindow();
    ~TaskWindow() override;

    TaskWindow(const TaskWindow&) = delete;
    TaskWindow& operator=(const TaskWindow&) = delete;

    bool onWindowThread() const override { return GetCurrentThreadId() == ownerThread_; }

    // Returns false, dropping the task, once closed or when no window could be made.
    bool post(std::function<void()> task) override;

    // Drops every queued task and every later one.
    void close() override;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void runQueued();

    const DWORD ownerThread_;
    HWND window_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;  // guarded by mutex_
    bool closed_ = false;                      // guarded by mutex_
    bool wakePosted_ = false;                  // guarded by mutex_
};

}  // namespace quorvane::ui
