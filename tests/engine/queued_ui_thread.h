#pragma once

// The window's thread as the downloader's tests see it: posted tasks wait in a queue until the
// test drains them on its own thread.

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ui/ui_thread.h"

namespace quorvane::testing {

class QueuedUiThread : public UiThread {
  public:
    void post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // Runs queued tasks until the condition holds or the budget runs out.
    bool drainUntil(const std::function<bool()>& condition,
                    std::chrono::milliseconds budget = std::chrono::seconds(30)) {
        auto deadline = std::chrono::steady_clock::now() + budget;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (!runOne()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    void drainFor(std::chrono::milliseconds period) {
        drainUntil([] { return false; }, period);
    }

  private:
    bool runOne() {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) return false;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        return true;
    }
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace quorvane::testing
