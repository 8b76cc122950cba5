#pragma once

// UiThread on Qt: tasks posted from any thread run in order on the GUI thread's event loop.
// Tasks that would run after the event loop has ended, or after close(), are dropped.

#include <QObject>

#include <atomic>
#include <memory>

#include "ui/ui_thread.h"

namespace quorvane::ui {

class QtUiThread final : public UiThread {
  public:
    // Create on the GUI thread once the QApplication exists. Everything that posts here must be
    // gone before this object is destroyed.
    QtUiThread();
    ~QtUiThread() override;

    QtUiThread(const QtUiThread&) = delete;
    QtUiThread& operator=(const QtUiThread&) = delete;

    void post(std::function<void()> task) override;

    // Drops every task still queued and every later one. Called when the event loop ends.
    void close();

  private:
    std::shared_ptr<std::atomic<bool>> open_;
    std::unique_ptr<QObject> receiver_;
};

}  // namespace quorvane::ui
