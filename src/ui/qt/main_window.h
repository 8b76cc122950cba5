#pragma once

// The program's one window: every control of its definition, the two timers and the
// notification-area icon. The program's logic sees it only as Controls and hears from it through
// WindowEvents. Control operations called from a worker thread are carried out on the window's
// thread before they return.

#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "ui/window_timers.h"
#include "ui/worker_call_gate.h"

// moc cannot parse identifiers outside ASCII, which the control names are; it needs neither header.
#ifndef Q_MOC_RUN
#include "ui/controls.h"
#include "ui/qt/window_controls.h"
#endif

namespace quorvane {
class WindowEvents;
}

namespace quorvane::ui {

class MainWindow final : public QWidget, public Controls {
    Q_OBJECT
  public:
    // startPage is what the web view loads; an empty address loads nothing.
    explicit MainWindow(const QUrl& startPage = defaultStartPage());
    ~MainWindow() override;

    // The game's web page, a build setting.
    static QUrl defaultStartPage();

    // The handlers of the window's events; set before the first event can fire.
    void setEvents(WindowEvents* events);

    // Makes control calls from worker threads, waiting ones included, return at once without
    // effect, with the values of an empty, disabled window. Call before joining a worker.
    void stopServingWorkers();

    void showCentred();
    // A later start of the program asked for the window: shown, restored and in front, as a
    // click on the tray icon brings it.
    void comeToFront();
    QImage image();
    bool saveImage(const QString& pngPath);
    QString trayTip() const;
    const WindowControls& controls() const { return controls_; }
    // Whether 时钟 or 多文件下载时钟 is ticking rather than resting.
    bool timersTicking() const;

    // Controls
    void setText(Control control, std::string_view text) override;
    std::string text(Control control) override;
    void setDisabled(Control control, bool disabled) override;
    bool isDisabled(Control control) override;
    void addItem(std::string_view text) override;
    void setChosenItem(int index) override;
    int chosenItem() override;
    void setPosition(int position) override;
    int position() override;
    void showWindow() override;
    void setWindowState(WindowState state) override;
    bool setTrayIcon(std::string_view tip) override;
    void removeTrayIcon() override;
    MessageBoxAnswer messageBox(std::string_view text, std::string_view title,
                                MessageBoxFlags flags) override;

  signals:
    // The close request was granted; the window is closing.
    void closeAccepted();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectControlEvents();
    void startTimers();
    void wakeTimers() { timers_.wake(); }
    QTimer& timer(WindowTimer which);
    void deliver(void (WindowEvents::*handler)());
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void assertOnGuiThread() const;

    // The operations themselves, on the window's thread.
    void applyText(Control control, const QString& text);
    QString readText(Control control) const;
    void applyWindowState(WindowState state);
    bool applyTrayIcon(const QString& tip);

    WindowControls controls_;
    QTimer progressTimer_;   // 时钟
    QTimer multiFileTimer_;  // 多文件下载时钟
    WindowTimers timers_;
    QSystemTrayIcon trayIcon_;
    WindowEvents* events_ = nullptr;
    WorkerCallGate workerCalls_;
};

}  // namespace quorvane::ui
