#include "ui/window_timers.h"

#include "ui/window_events.h"

namespace quorvane::ui {

WindowTimers::WindowTimers(std::function<bool(WindowTimer)> start,
                           std::function<void(WindowTimer)> stop)
    : start_(std::move(start)), stop_(std::move(stop)) {}

void WindowTimers::wake() {
    for (WindowTimer timer : {WindowTimer::progress, WindowTimer::multiFile}) {
        bool& ticking = ticking_[static_cast<int>(timer)];
        if (!ticking) ticking = start_(timer);
    }
}

void WindowTimers::tick(WindowTimer timer, WindowEvents* events) {
    if (events) {
        timer == WindowTimer::progress ? events->showProgress() : events->onMultiFileTimerTick();
    }
    if (events && events->timersHaveWork()) return;
    stop_(timer);
    ticking_[static_cast<int>(timer)] = false;
}

}  // namespace quorvane::ui
