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

// Runs work directly on the window's thread, or through the gate from any other thread; a call
// the gate no longer serves yields fallback.
template <typename Result, typename Work>
Result callOnGuiThread(WorkerCallGate& gate, Result fallback, Work&& work) {
    if (gate.onGuiThread()) return work();
    Result result = fallback;
    // Capturing by reference is safe: the work runs only while this thread waits for it.
    gate.runOnGuiThread([&] { result = work(); });
    return result;
}

template <typename Work>
void callOnGuiThread(WorkerCallGate& gate, Work&& work) {
    if (gate.onGuiThread()) {
        work();
        return;
    }
    gate.runOnGuiThread([&] { work(); });
}

}  // namespace quorvane::ui
