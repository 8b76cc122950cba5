// MainWindow's control operations. Each public operation runs on the window's thread: directly
// when called there, through workerCalls_ from any other thread.

#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/windows_path_win32.h"
#include "ui/control_rules.h"
#include "ui/win32/message_box.h"
#include "ui/window_events.h"

namespace quorvane::ui {

namespace {

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

std::wstring chosenItemText(HWND chooser) {
    const LRESULT index = SendMessageW(chooser, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendMessageW(chooser, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(chooser, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

}  // namespace

void MainWindow::setText(Control control, std::string_view text) {
    callOnGuiThread(workerCalls_, [&] { applyText(control, platform::wideFromUtf8(text)); });
}

std::string MainWindow::text(Control control) {
    return callOnGuiThread(workerCalls_, std::string(),
                           [&] { return platform::utf8FromWide(readText(control)); });
}

void MainWindow::setDisabled(Control control, bool disabled) {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        EnableWindow(controls_.handle(control), !disabled);
    });
}

bool MainWindow::isDisabled(Control control) {
    return callOnGuiThread(workerCalls_, true,
                           [&] { return !IsWindowEnabled(controls_.handle(control)); });
}

void MainWindow::addItem(std::string_view text) {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        const std::wstring item = platform::wideFromUtf8(text);
        SendMessageW(controls_.handle(Control::组合框1), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(item.c_str()));
    });
}

void MainWindow::setChosenItem(int index) {
    // CB_SETCURSEL notifies nobody: the chosen-item event answers only the user.
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        SendMessageW(controls_.handle(Control::组合框1), CB_SETCURSEL, static_cast<WPARAM>(index),
                     0);
    });
}

int MainWindow::chosenItem() {
    return callOnGuiThread(workerCalls_, -1, [&] {
        const LRESULT index = SendMessageW(controls_.handle(Control::组合框1), CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? -1 : static_cast<int>(index);
    });
}

void MainWindow::setPosition(int position) {
    // The bar stops at its ends.
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        SendMessageW(controls_.handle(Control::进度条), PBM_SETPOS,
                     static_cast<WPARAM>(std::clamp(position, 0, 100)), 0);
    });
}

int MainWindow::position() {
    return callOnGuiThread(workerCalls_, 0, [&] {
        return static_cast<int>(SendMessageW(controls_.handle(Control::进度条), PBM_GETPOS, 0, 0));
    });
}

void MainWindow::showWindow() {
    callOnGuiThread(workerCalls_, [&] { ShowWindow(window_, SW_SHOW); });
}

void MainWindow::setWindowState(WindowState state) {
    callOnGuiThread(workerCalls_, [&] { applyWindowState(state); });
}

bool MainWindow::setTrayIcon(std::string_view tip) {
    return callOnGuiThread(workerCalls_, false, [&] {
        wakeTimers();
        return tray_.show(platform::wideFromUtf8(tip));
    });
}

void MainWindow::removeTrayIcon() {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        tray_.remove();
    });
}

MessageBoxAnswer MainWindow::messageBox(std::string_view text, std::string_view title,
                                        MessageBoxFlags flags) {
    return callOnGuiThread(workerCalls_, MessageBoxAnswer::no,
                           [&] { return showMessageBox(window_, text, title, flags); });
}

void MainWindow::applyText(Control control, const std::wstring& text) {
    assertOnGuiThread();
    wakeTimers();
    if (control == Control::组合框1 || control == Control::进度条 ||
        control == Control::超文本浏览框1) {
        return;  // they have no text of their own to set
    }
    const HWND window = controls_.handle(control);
    // The progress timer writes its texts on every tick; a label is drawn again only when its
    // text changes.
    if (windowText(window) != text) {
        SetWindowTextW(window, text.c_str());
        if (isTransparentLabel(control)) {
            // Nothing of the old text may stay behind on the window's background.
            InvalidateRect(window, nullptr, TRUE);
        }
    }
    afterTextWritten(events_, control);
}

std::wstring MainWindow::readText(Control control) const {
    assertOnGuiThread();
    const HWND window = controls_.handle(control);
    if (control == Control::组合框1) return chosenItemText(window);
    if (control == Control::进度条 || control == Control::超文本浏览框1) return {};
    return windowText(window);
}

void MainWindow::applyWindowState(WindowState state) {
    assertOnGuiThread();
    wakeTimers();
    if (state == WindowState::minimised) {
        ShowWindow(window_, SW_MINIMIZE);
        return;
    }
    if (IsIconic(window_) || IsZoomed(window_)) ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
}

}  // namespace quorvane::ui
