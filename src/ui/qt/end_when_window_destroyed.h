#pragma once

// Ends the event loop when the window system destroys the program's window from outside (a
// window manager or a tool such as `xdotool windowclose`), so that the program leaves the orderly
// way instead of living on without a window. Like a signal, it asks nothing.

#include <QAbstractNativeEventFilter>

class QWidget;

namespace quorvane::ui {

class EndWhenWindowDestroyed final : public QAbstractNativeEventFilter {
  public:
    // Watches window's native window from now on, on X11; elsewhere it does nothing.
    explicit EndWhenWindowDestroyed(QWidget& window);
    ~EndWhenWindowDestroyed() override;

    EndWhenWindowDestroyed(const EndWhenWindowDestroyed&) = delete;
    EndWhenWindowDestroyed& operator=(const EndWhenWindowDestroyed&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    QWidget& window_;
};

}  // namespace quorvane::ui
