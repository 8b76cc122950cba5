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

namespace quorvane::ui {

// How a window gets work onto its own thread: its toolkit's queued call or message.
class WindowThreadQueue {
  public:
    virtual ~WindowThreadQueue() = default;
    virtual bool onWindowThread() const = 0;
    // Queues the task to run on the window's thread and returns at once; false, dropping the
    // task, when it can no longer run there.
    virtual bool post(std::function<void()> task) = 0;
    // Drops queued and later tasks; the window stops serving. Window's thread only.
    virtual void close() {}
};

class WorkerCallGate {
  public:
    explicit WorkerCallGate(std::unique_ptr<WindowThreadQueue> queue);
    ~WorkerCallGate();

    WorkerCallGate(const WorkerCallGate&) = delete;
    WorkerCallGate& operator=(const WorkerCallGate&) = delete;

    bool onGuiThread() const { return queue_->onWindowThread(); }

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
    std::unique_ptr<WindowThreadQueue> queue_;
};

}  // namespace quorvane::ui
