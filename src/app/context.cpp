#include "app/context.h"

namespace quorvane {

bool Context::pauseUnlessStopped(std::chrono::milliseconds duration) {
    if (retryWait) return !stopRequested && retryWait(duration);
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, duration, [this] { return stopRequested.load(); });
}

void Context::requestStop() {
    {
        std::lock_guard lock(stopMutex_);
        stopRequested = true;
    }
    stopSignal_.notify_all();
}

}  // namespace quorvane
