#pragma once

// Hands work to the window's thread. The downloader uses it so that its notifications run where
// the window's events run.

#include <functional>

namespace quorvane {

class UiThread {
  public:
    virtual ~UiThread() = default;

    // Queues the task to run later on the window's thread and returns at once, from any thread,
    // also from the window's thread itself. Tasks run in the order they were posted. Tasks still
    // queued when the window's thread has stopped are dropped.
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace quorvane
