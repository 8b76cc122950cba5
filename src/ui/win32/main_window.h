#pragma once

// The program's one window on Windows: every control of its definition, the two timers and the
// notification-area icon. The program's logic sees it only as Controls and hears from it through
// WindowEvents. Control operations called from a worker thread are carried out on the window's
// thread before they return.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/controls.h"
#include "ui/win32/task_window.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/window_controls.h"
#include "ui/window_timers.h"
#include "ui/worker_call_gate.h"

namespace quorvane {
class WindowEvents;
}

namespace quorvane::ui {

class WebBrowserHost;

class MainWindow final : public Controls {
  public:
    // Construct on the thread that runs the message loop. startPage is what the web view loads;
    // an empty address loads nothing.
    explicit MainWindow(std::wstring startPage = defaultStartPage());
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The window class, by which a later start and the installer find a running program.
    static constexpr wchar_t kClassName[] = L"QuorvaneDownloaderWindow";

    // The game's web page, a build setting.
    static std::wstring defaultStartPage();

    // Creates the window and its controls, not yet shown, and starts the timers. False when the
    // system refused the window.
    bool create();
    HWND handle() const { return window_; }

    // The handlers of the window's events; set before the first event can fire.
    void setEvents(WindowEvents* events);

    // Makes control calls from worker threads, waiting ones included, return at once without
    // effect, with the values of an empty, disabled window. Call before joining a worker.
    void stopServingWorkers();

    // Windows is ending the session and will end the process as soon as this window has
    // answered: the program's own way out has to run from inside that answer.
    void setSessionEndHandler(std::function<void()> handler) {
        sessionEndHandler_ = std::move(handler);
    }

    void showCentred();
    // The message loop's share of a message before it is dispatched; true when it was taken.
    bool preTranslate(MSG& message);
    // True once a close request was granted; the message loop has been told to end.
    bool closeAccepted() const { return closeAccepted_; }
    const std::wstring& trayTip() const { return tray_.tip(); }
    // Whether 时钟 or 多文件下载时钟 is ticking rather than resting.
    bool timersTicking() const { return timers_.ticking(); }
    const WindowControls& controls() const { return controls_; }

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

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int notification);
    void onTimer(UINT_PTR timer);
    void wakeTimers() { timers_.wake(); }
    void onClose();
    void comeToFront();
    void onDpiChanged(UINT dpi, const RECT& suggested);
    LRESULT colourControl(UINT message, HDC dc, HWND child);
    void drawLabel(const DRAWITEMSTRUCT& item);
    void applyDpi(UINT dpi);
    void assertOnGuiThread() const;

    // The operations themselves, on the window's thread.
    void applyText(Control control, const std::wstring& text);
    std::wstring readText(Control control) const;
    void applyWindowState(WindowState state);

    std::wstring startPage_;
    HWND window_ = nullptr;
    WindowControls controls_;
    std::unique_ptr<WebBrowserHost> browser_;
    TrayIcon tray_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HICON trayIcon_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH whiteBrush_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    UINT taskbarCreated_ = 0;
    UINT showWindowMessage_ = 0;
    bool closeAccepted_ = false;
    WindowTimers timers_;
    WindowEvents* events_ = nullptr;
    std::function<void()> sessionEndHandler_;
    WorkerCallGate workerCalls_;
};

}  // namespace quorvane::ui
