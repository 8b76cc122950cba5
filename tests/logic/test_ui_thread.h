#pragma once

// The test's own thread plays the window's thread: posted tasks wait in a queue until the test
// runs them, together with the window's timer ticks.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "ui/ui_thread.h"

namespace quorvane::test {

class TestUiThread final : public UiThread {
  public:
    void post(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }

    // Runs posted tasks and calls tick about every 10 ms, as the window's timers would, until
    // done() holds; false when the budget ran out first.
    bool runUntil(const std::function<bool()>& done, const std::function<void()>& tick,
                  std::chrono::milliseconds budget = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + budget;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            for (auto& task : takeTasks(std::chrono::milliseconds(10))) task();
            tick();
        }
        return true;
    }

  private:
    std::deque<std::function<void()>> takeTasks(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, wait, [this] { return !tasks_.empty(); });
        return std::exchange(tasks_, {});
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace quorvane::test
