#include "ui/qt/window_thread_queue.h"

#include <QObject>
#include <QPointer>
#include <QThread>

namespace quorvane::ui {

namespace {

class QueuedCalls final : public WindowThreadQueue {
  public:
    explicit QueuedCalls(QObject* guiObject) : guiObject_(guiObject) {}

    bool onWindowThread() const override {
        return guiObject_ && QThread::currentThread() == guiObject_->thread();
    }

    bool post(std::function<void()> task) override {
        if (!guiObject_) return false;
        QMetaObject::invokeMethod(guiObject_, std::move(task), Qt::QueuedConnection);
        return true;
    }

  private:
    QPointer<QObject> guiObject_;
};

}  // namespace

std::unique_ptr<WindowThreadQueue> windowThreadQueueOf(QObject* guiObject) {
    return std::make_unique<QueuedCalls>(guiObject);
}

}  // namespace quorvane::ui
