#include "ui/win32/tray_icon.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>

namespace quorvane::ui {

namespace {
constexpr UINT kIconId = 1;
}

void TrayIcon::attach(HWND owner, HICON icon) {
    owner_ = owner;
    icon_ = icon;
}

NOTIFYICONDATAW TrayIcon::data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = icon_;
    const std::size_t length = std::min(tip_.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, tip_.data(), length);
    data.szTip[length] = L'\0';
    return data;
}

bool TrayIcon::show(const std::wstring& tip) {
    if (!owner_) return false;
    tip_ = tip;
    wanted_ = true;
    constexpr UINT kAll = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    NOTIFYICONDATAW update = data(kAll);
    if (visible_ && Shell_NotifyIconW(NIM_MODIFY, &update)) return true;
    visible_ = Shell_NotifyIconW(NIM_ADD, &update) != FALSE;
    return visible_;
}

void TrayIcon::remove() {
    wanted_ = false;
    if (!visible_) return;
    NOTIFYICONDATAW removal = data(0);
    Shell_NotifyIconW(NIM_DELETE, &removal);
    visible_ = false;
}

void TrayIcon::restore() {
    if (!wanted_) return;
    visible_ = false;
    show(tip_);
}

TrayEvent trayEventKind(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONUP:
            return TrayEvent::click;
        case WM_RBUTTONUP:
            return TrayEvent::contextMenu;
        case WM_LBUTTONDBLCLK:
            return TrayEvent::doubleClick;
        case WM_MBUTTONUP:
            return TrayEvent::middleClick;
        default:
            return TrayEvent::other;
    }
}

}  // namespace quorvane::ui
