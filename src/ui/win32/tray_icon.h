#pragma once

// The window's one notification-area icon. Its mouse actions arrive at the owner window as
// kTrayMessage; it comes back after Explorer restarts when the owner passes the TaskbarCreated
// message on to restore().

#include <windows.h>

#include <string>

#include "ui/controls.h"

namespace quorvane::ui {

inline constexpr UINT kTrayMessage = WM_APP + 0x10;

class TrayIcon {
  public:
    TrayIcon() = default;
    ~TrayIcon() { remove(); }

    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void attach(HWND owner, HICON icon);

    // Puts the icon up with this tip, or changes the tip of the icon already up. Returns whether
    // the notification area took it. Tips longer than the area holds are cut.
    bool show(const std::wstring& tip);
    void remove();
    // After Explorer has (re)started: puts the icon up again if the program wants it up.
    void restore();

    bool visible() const { return visible_; }
    const std::wstring& tip() const { return tip_; }

  private:
    NOTIFYICONDATAW data(UINT flags) const;

    HWND owner_ = nullptr;
    HICON icon_ = nullptr;
    std::wstring tip_;
    bool wanted_ = false;   // shown and not removed since
    bool visible_ = false;  // the notification area holds it
};

// The kind of mouse action, from the notification's mouse message; other for actions the program
// has no name for.
TrayEvent trayEventKind(UINT mouseMessage);

}  // namespace quorvane::ui
