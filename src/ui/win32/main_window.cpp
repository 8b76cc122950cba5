#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <cassert>

#include "platform/windows_path_win32.h"
#include "ui/start_page.h"
#include "ui/win32/accessible_name.h"
#include "ui/win32/dpi.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/single_instance.h"
#include "ui/win32/web_browser_host.h"
#include "ui/window_definition.h"
#include "ui/window_events.h"

namespace quorvane::ui {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// Windows holds the timers' 1 ms to its own minimum (USER_TIMER_MINIMUM, 10 ms).
constexpr UINT_PTR kProgressTimer = 1;   // 时钟
constexpr UINT_PTR kMultiFileTimer = 2;  // 多文件下载时钟

UINT_PTR timerId(WindowTimer timer) {
    return timer == WindowTimer::progress ? kProgressTimer : kMultiFileTimer;
}

HICON loadProgramIcon(int sizeMetric, UINT dpi) {
    const int size = dpiFunctions().systemMetric(sizeMetric, dpi);
    auto* icon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM_ICON),
                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

// The notification area draws its icons at the shell's small-icon size, which need not be the
// window's.
HICON loadTrayIcon() {
    HICON icon = nullptr;
    if (FAILED(LoadIconMetric(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM_ICON),
                              LIM_SMALL, &icon))) {
        return nullptr;
    }
    return icon;
}

void registerWindowClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The platform's default colour of a window with controls on it.
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = MainWindow::kClassName;
    RegisterClassExW(&windowClass);  // fails harmlessly when a second window registers again
}

SIZE outerSize(UINT dpi) {
    RECT frame{0, 0, MulDiv(kClientWidth, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI),
               MulDiv(kClientHeight, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI)};
    dpiFunctions().adjustWindowRect(&frame, kStyle, kExStyle, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

MainWindow::MainWindow(std::wstring startPage)
    : startPage_(std::move(startPage)),
      whiteBrush_(CreateSolidBrush(colourRef(kWhite))),
      timers_(
          [this](WindowTimer timer) {
              return window_ && SetTimer(window_, timerId(timer), kTimerIntervalMs, nullptr) != 0;
          },
          [this](WindowTimer timer) { KillTimer(window_, timerId(timer)); }),
      workerCalls_(std::make_unique<TaskWindow>()) {}

MainWindow::~MainWindow() {
    // The program may be gone already; nothing from here on reaches it.
    events_ = nullptr;
    stopServingWorkers();
    for (UINT_PTR timer : {kProgressTimer, kMultiFileTimer}) KillTimer(window_, timer);
    tray_.remove();
    browser_.reset();
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
    DeleteObject(whiteBrush_);
    for (HICON icon : {bigIcon_, smallIcon_, trayIcon_}) {
        if (icon) DestroyIcon(icon);
    }
}

std::wstring MainWindow::defaultStartPage() {
    return platform::wideFromUtf8(ui::defaultStartPage());
}

bool MainWindow::create() {
    assertOnGuiThread();
    if (window_) return true;
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                       ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    registerWindowClass(&MainWindow::procedure);

    const SIZE size = outerSize(dpiFunctions().systemDpi());
    const std::wstring caption = platform::wideFromUtf8(kWindowCaption);
    window_ =
        CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!window_) return false;

    controls_ = createWindowControls(window_);
    // What a screen reader calls the controls without a caption of their own.
    for (const ControlDefinition& definition : windowDefinition()) {
        if (definition.accessibleName.empty()) continue;
        setAccessibleName(controls_.handle(definition.control),
                          platform::wideFromUtf8(definition.accessibleName).c_str());
    }
    applyDpi(dpiFunctions().windowDpi(window_));
    browser_ = WebBrowserHost::create(controls_.handle(Control::超文本浏览框1), startPage_);
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    showWindowMessage_ = RegisterWindowMessageW(kShowWindowMessageName);
    // A later start may run without the rights of this one (this one started as administrator).
    if (showWindowMessage_ != 0) {
        ChangeWindowMessageFilterEx(window_, showWindowMessage_, MSGFLT_ALLOW, nullptr);
    }
    wakeTimers();
    return true;
}

void MainWindow::setEvents(WindowEvents* events) {
    assertOnGuiThread();
    events_ = events;
    wakeTimers();
}

void MainWindow::onTimer(UINT_PTR timer) {
    if (timer == kProgressTimer) timers_.tick(WindowTimer::progress, events_);
    if (timer == kMultiFileTimer) timers_.tick(WindowTimer::multiFile, events_);
}

void MainWindow::stopServingWorkers() {
    assertOnGuiThread();
    workerCalls_.stopServing();
}

void MainWindow::showCentred() {
    assertOnGuiThread();
    RECT frame{};
    GetWindowRect(window_, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        const RECT& area = monitor.rcWork;
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                     area.top + (area.bottom - area.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

// Keys of the web page go to the browser first (Tab between its links, Ctrl+C) and then past the
// dialog handling, which would take Tab, the arrows and Enter from the page. All other messages
// get the dialog handling: Tab and Shift+Tab between the controls; Enter and Esc do nothing.
bool MainWindow::preTranslate(MSG& message) {
    const bool key = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
    const HWND page = controls_.handle(Control::超文本浏览框1);
    if (key && page && (message.hwnd == page || IsChild(page, message.hwnd))) {
        return browser_ && browser_->translateKey(message);
    }
    return IsDialogMessageW(window_, &message) != FALSE;
}

void MainWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    NONCLIENTMETRICSW metrics{};
    HFONT font = nullptr;
    if (dpiFunctions().nonClientMetrics(metrics, dpi)) {
        font = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    layoutWindowControls(controls_, dpi,
                         font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    if (font_) DeleteObject(font_);
    font_ = font;

    for (HICON icon : {bigIcon_, smallIcon_, trayIcon_}) {
        if (icon) DestroyIcon(icon);
    }
    bigIcon_ = loadProgramIcon(SM_CXICON, dpi);
    smallIcon_ = loadProgramIcon(SM_CXSMICON, dpi);
    trayIcon_ = loadTrayIcon();
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    tray_.attach(window_, trayIcon_ ? trayIcon_ : smallIcon_);

    const SIZE size = outerSize(dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (browser_) browser_->fitToContainer();
}

void MainWindow::onDpiChanged(UINT dpi, const RECT& suggested) {
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    applyDpi(dpi);
    if (tray_.visible()) tray_.show(tray_.tip());
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->window_) return DefWindowProcW(window, message, wParam, lParam);
    return self->handleMessage(message, wParam, lParam);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            onTimer(wParam);
            return 0;
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return colourControl(message, reinterpret_cast<HDC>(wParam),
                                 reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            drawLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case kTrayMessage:
            if (const TrayEvent kind = trayEventKind(LOWORD(lParam));
                kind != TrayEvent::other && events_) {
                wakeTimers();
                events_->onTrayEvent(kind);
            }
            return 0;
        case WM_ENDSESSION:
            if (wParam && sessionEndHandler_) {
                ShowWindow(window_, SW_HIDE);
                sessionEndHandler_();
            }
            return 0;
        case WM_DPICHANGED:
            onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        default:
            if (message == taskbarCreated_ && taskbarCreated_ != 0) {
                tray_.restore();
                return 0;
            }
            if (message == showWindowMessage_ && showWindowMessage_ != 0) {
                comeToFront();
                return 0;
            }
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void MainWindow::onCommand(int id, int notification) {
    if (!events_) return;
    const bool chosen = id == controlId(Control::组合框1) && notification == CBN_SELCHANGE;
    if (chosen || notification == BN_CLICKED) wakeTimers();
    // The chooser reports the user's choices only; choosing from the program sends nothing.
    if (chosen) {
        events_->applyEntrySettings();
    } else if (notification == BN_CLICKED) {
        if (id == controlId(Control::超级按钮_接收)) events_->composeDownloadQueue();
        if (id == controlId(Control::超级按钮_取消)) events_->onCancelClicked();
        if (id == controlId(Control::超级按钮_打开已下载文件)) events_->openDownloadFolder();
    }
}

void MainWindow::onClose() {
    if (closeAccepted_) return;
    wakeTimers();
    if (events_ && !events_->onCloseRequest()) return;
    closeAccepted_ = true;
    // The window goes at once; the program winds down after its message loop has ended.
    ShowWindow(window_, SW_HIDE);
    PostQuitMessage(0);
}

// A later start of the program asked for this window: shown, restored and in front, as a click on
// the tray icon brings it. A window that is closing stays closed.
void MainWindow::comeToFront() {
    if (closeAccepted_) return;
    wakeTimers();
    if (!IsWindowVisible(window_)) ShowWindow(window_, SW_SHOW);
    if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
}

LRESULT MainWindow::colourControl(UINT message, HDC dc, HWND child) {
    std::optional<Control> control = controls_.controlOf(child);
    // The chooser's list is a window of its own inside the chooser.
    if (!control && GetParent(child) == controls_.handle(Control::组合框1)) {
        control = Control::组合框1;
    }
    const auto colour = control ? textColour(*control) : std::nullopt;
    if (!colour || !IsWindowEnabled(child)) {
        return DefWindowProcW(window_, message, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(child));
    }
    SetTextColor(dc, *colour);
    if (definitionOf(*control).background == kWhite) {
        SetBkColor(dc, colourRef(kWhite));
        return reinterpret_cast<LRESULT>(whiteBrush_);
    }
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// A transparent label: its line straight on the window's background. The whole box is painted
// each time, so no earlier, longer text shows through.
void MainWindow::drawLabel(const DRAWITEMSTRUCT& item) {
    const std::optional<Control> control = controls_.controlOf(item.hwndItem);
    if (!control || !isTransparentLabel(*control)) return;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    std::wstring caption = readText(*control);
    RECT area = item.rcItem;
    const int savedState = SaveDC(item.hDC);
    SelectObject(item.hDC, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, textColour(*control).value_or(colourRef(kDarkBlue)));
    DrawTextW(
        item.hDC, caption.c_str(), static_cast<int>(caption.size()), &area,
        labelAlignment(*control) | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    RestoreDC(item.hDC, savedState);
}

void MainWindow::assertOnGuiThread() const {
    assert(workerCalls_.onGuiThread() && "MainWindow called off its thread");
}

}  // namespace quorvane::ui
