#include "ui/qt/qt_ui_thread.h"

#include <QCoreApplication>
#include <QThread>

namespace quorvane::ui {

QtUiThread::QtUiThread()
    : open_(std::make_shared<std::atomic<bool>>(true)), receiver_(std::make_unique<QObject>()) {
    Q_ASSERT(QCoreApplication::instance());
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, receiver_.get(),
                     [open = open_] { open->store(false); });
}

QtUiThread::~QtUiThread() {
    close();
}

void QtUiThread::post(std::function<void()> task) {
    if (!open_->load()) return;
    QMetaObject::invokeMethod(
        receiver_.get(),
        [open = open_, task = std::move(task)] {
            if (open->load()) task();
        },
        Qt::QueuedConnection);
}

void QtUiThread::close() {
    open_->store(false);
}

}  // namespace quorvane::ui
