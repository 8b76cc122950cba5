#pragma once

// The window's two timers, 时钟 and 多文件下载时钟, and when they may rest. Both tick at their
// interval from the window's creation to the program's end whenever a tick can have work. In
// between they rest, so that an idle window costs next to nothing; whatever can give them work
// (an event of the window, a change to a control) wakes them first. Each rests only after a tick
// of its own, so that a woken timer always gets one. The window supplies the platform's timer.

#include <array>
#include <functional>

namespace quorvane {
class WindowEvents;
}

namespace quorvane::ui {

enum class WindowTimer { progress /* 时钟 */, multiFile /* 多文件下载时钟 */ };

// Both are defined with 1 ms: as fast as the platform's timers go.
inline constexpr int kTimerIntervalMs = 1;

class WindowTimers {
  public:
    // start returns whether the platform's timer runs; stop ends it. Window's thread only, like
    // every call here.
    WindowTimers(std::function<bool(WindowTimer)> start, std::function<void(WindowTimer)> stop);

    // Starts every resting timer.
    void wake();
    // A tick of timer: runs its operation, then lets it rest when nothing waits for either.
    void tick(WindowTimer timer, WindowEvents* events);
    // Whether either is ticking rather than resting.
    bool ticking() const { return ticking_[0] || ticking_[1]; }

  private:
    std::function<bool(WindowTimer)> start_;
    std::function<void(WindowTimer)> stop_;
    std::array<bool, 2> ticking_{};
};

}  // namespace quorvane::ui
