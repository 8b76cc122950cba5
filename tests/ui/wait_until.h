#pragma once

// Waits for a condition while the GUI thread's event loop runs, within a generous budget.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace quorvane::ui::testing {

template <typename Condition>
bool waitUntil(Condition condition, int budgetMs = 10000) {
    QDeadlineTimer deadline(budgetMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace quorvane::ui::testing
