#pragma once

// Ends the event loop when the process receives SIGINT, SIGTERM, SIGHUP or SIGQUIT, so that the
// program leaves through the same path as after closing its window and its clean-up runs. No
// window is asked: a download under way is interrupted, not cancelled. The signal handler only
// writes a byte to a pipe; the event loop ends on the GUI thread.

#include <QObject>

#include <array>
#include <memory>

#include "platform/file_descriptor_posix.h"

class QSocketNotifier;

namespace quorvane::ui {

class QuitOnSignals final : public QObject {
    Q_OBJECT
  public:
    // One instance at a time, on the GUI thread, after the QApplication exists.
    QuitOnSignals();
    ~QuitOnSignals() override;

    bool installed() const { return notifier_ != nullptr; }

  private:
    explicit QuitOnSignals(std::array<int, 2> socketEnds);
    void onSignalByte();

    platform::FileDescriptor readEnd_;
    platform::FileDescriptor writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quorvane::ui
