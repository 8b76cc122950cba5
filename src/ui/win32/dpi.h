#pragma once

// The window's DPI on every Windows the program runs on. The per-monitor functions came with
// Windows 10 1607, so they are looked up at run time; without them the window follows the
// system's DPI (Windows 7 and 8.1), with the system's metrics scaled to a DPI that Windows 8.1
// still reports per monitor.

#include <windows.h>

namespace quorvane::ui {

class DpiFunctions {
  public:
    // The per-monitor functions of user32, where module has them.
    explicit DpiFunctions(HMODULE user32);

    UINT systemDpi() const;
    UINT windowDpi(HWND window) const;
    int systemMetric(int index, UINT dpi) const;
    // The outer rectangle of a window whose client area is *rect.
    bool adjustWindowRect(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const;
    // The system's message font and friends at this DPI.
    bool nonClientMetrics(NONCLIENTMETRICSW& metrics, UINT dpi) const;

  private:
    UINT(WINAPI* getDpiForSystem_)() = nullptr;
    UINT(WINAPI* getDpiForWindow_)(HWND) = nullptr;
    int(WINAPI* getSystemMetricsForDpi_)(int, UINT) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* systemParametersInfoForDpi_)(UINT, UINT, void*, UINT, UINT) = nullptr;
};

// This system's.
const DpiFunctions& dpiFunctions();

}  // namespace quorvane::ui
