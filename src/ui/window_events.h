#pragma once

// What the window's events start. The window calls these on its own thread only; the program
// implements them. The names are the operations each event runs.

#include "ui/controls.h"

namespace quorvane {

class WindowEvents {
  public:
    virtual ~WindowEvents() = default;

    // Once, after every control exists and before the window is first shown.
    virtual void onWindowCreated() = 0;
    // The user asked to close the window. False keeps it open; true lets it close, and the
    // program ends when the event loop returns.
    virtual bool onCloseRequest() = 0;
    // A mouse action on the notification-area icon.
    virtual void onTrayEvent(TrayEvent kind) = 0;

    virtual void applyEntrySettings() = 0;    // the user chose an item of 组合框1
    virtual void clampConnectionCount() = 0;  // content of 编辑框2 changed, on every write
    virtual void composeDownloadQueue() = 0;  // 超级按钮_接收 clicked
    virtual void onCancelClicked() = 0;       // 超级按钮_取消 clicked
    virtual void openDownloadFolder() = 0;    // 超级按钮_打开已下载文件 clicked
    virtual void showProgress() = 0;          // tick of 时钟
    virtual void onMultiFileTimerTick() = 0;  // tick of 多文件下载时钟

    // Whether a tick of the two timers can find anything to do: a queue is being built or
    // waits, or a file is being downloaded. While it is false the window may let its timers
    // rest until the next event or control change (see ui/window_timers.h); a window that does
    // not ask ticks on.
    virtual bool timersHaveWork() { return true; }
};

}  // namespace quorvane
