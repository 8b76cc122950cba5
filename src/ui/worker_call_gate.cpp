#include "ui/worker_call_gate.h"

#include <cassert>

namespace quorvane::ui {

WorkerCallGate::WorkerCallGate(std::unique_ptr<WindowThreadQueue> queue)
    : shared_(std::make_shared<Shared>()), queue_(std::move(queue)) {}

WorkerCallGate::~WorkerCallGate() {
    // Nobody may stay blocked on a window that is going away.
    stopServing();
}

bool WorkerCallGate::runOnGuiThread(std::function<void()> work) {
    assert(!onGuiThread());
    if (shared_->stopped.load()) return false;

    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    auto shared = shared_;
    const bool queued = queue_->post([shared, call] {
        // The caller has already been released; its captures may be gone.
        if (shared->stopped.load()) return;
        call->work();
        {
            std::lock_guard lock(shared->mutex);
            call->done = true;
        }
        shared->finished.notify_all();
    });
    if (!queued) return false;

    std::unique_lock lock(shared_->mutex);
    shared_->finished.wait(lock, [&] { return call->done || shared_->stopped.load(); });
    return call->done;
}

void WorkerCallGate::stopServing() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped.store(true);
    }
    queue_->close();
    shared_->finished.notify_all();
}

}  // namespace quorvane::ui
