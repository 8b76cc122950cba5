#pragma once

// Carries control operations that worker threads call over to the window's thread and waits for
// them, so that a worker sees the window exactly as the window's thread left it. Once the window
// stops serving, every waiting and every later call returns at once without running: the window's
// thread can then join a worker that was blocked in such a call.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "ui/call_on_gui_thread.h"
#include "ui/win32/task_window.h"

namespace quorvane::ui {

class WorkerCallGate {
  public:
    // Work is carried out on the thread that creates the gate.
    WorkerCallGate();
    ~WorkerCallGate();

    WorkerCallGate(const WorkerCallGate&) = delete;
    WorkerCallGate& operator=(const WorkerCallGate&) = delete;

    bool onGuiThread() const { return tasks_.onOwnerThread(); }

    // From a worker thread: queues the work for the window's thread and waits until it has run.
    // Returns false, without the work having run, once serving has stopped.
    bool runOnGuiThread(std::function<void()> work);

    // Window's thread only. Wakes every waiting worker; pending and later work never runs.
    void stopServing();
    bool serving() const { return !shared_->stopped.load(); }

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        std::atomic<bool> stopped{false};
    };
    struct Call {
        std::function<void()> work;
        bool done = false;  // guarded by Shared::mutex
    };

    std::shared_ptr<Shared> shared_;
    TaskWindow tasks_;
};

}  // namespace quorvane::ui
