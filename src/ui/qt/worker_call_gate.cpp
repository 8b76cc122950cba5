#include "ui/qt/worker_call_gate.h"

#include <QThread>

namespace quorvane::ui {

WorkerCallGate::WorkerCallGate(QObject* guiObject)
    : shared_(std::make_shared<Shared>()), guiObject_(guiObject) {}

WorkerCallGate::~WorkerCallGate() {
    // Nobody may stay blocked on a window that is going away.
    stopServing();
}

bool WorkerCallGate::onGuiThread() const {
    return guiObject_ && QThread::currentThread() == guiObject_->thread();
}

bool WorkerCallGate::runOnGuiThread(std::function<void()> work) {
    Q_ASSERT(!onGuiThread());
    if (shared_->stopped.load() || !guiObject_) return false;

    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    auto shared = shared_;
    QMetaObject::invokeMethod(
        guiObject_,
        [shared, call] {
            // The caller has already been released; its captures may be gone.
            if (shared->stopped.load()) return;
            call->work();
            {
                std::lock_guard lock(shared->mutex);
                call->done = true;
            }
            shared->finished.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared_->mutex);
    shared_->finished.wait(lock, [&] { return call->done || shared_->stopped.load(); });
    return call->done;
}

void WorkerCallGate::stopServing() {
    Q_ASSERT(!guiObject_ || onGuiThread());
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopped.store(true);
    }
    shared_->finished.notify_all();
}

}  // namespace quorvane::ui
