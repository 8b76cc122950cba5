#include "ui/win32/dpi.h"

namespace quorvane::ui {

namespace {

template <typename Function>
void lookUp(HMODULE module, const char* name, Function& function) {
    // Through a function type without arguments, which GCC accepts as a cast from any function's.
    function = reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace

DpiFunctions::DpiFunctions(HMODULE user32) {
    lookUp(user32, "GetDpiForSystem", getDpiForSystem_);
    lookUp(user32, "GetDpiForWindow", getDpiForWindow_);
    lookUp(user32, "GetSystemMetricsForDpi", getSystemMetricsForDpi_);
    lookUp(user32, "AdjustWindowRectExForDpi", adjustWindowRectExForDpi_);
    lookUp(user32, "SystemParametersInfoForDpi", systemParametersInfoForDpi_);
}

UINT DpiFunctions::systemDpi() const {
    if (getDpiForSystem_) return getDpiForSystem_();
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT DpiFunctions::windowDpi(HWND window) const {
    if (getDpiForWindow_) {
        if (const UINT dpi = getDpiForWindow_(window); dpi != 0) return dpi;
    }
    return systemDpi();
}

int DpiFunctions::systemMetric(int index, UINT dpi) const {
    if (getSystemMetricsForDpi_) return getSystemMetricsForDpi_(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(systemDpi()));
}

bool DpiFunctions::adjustWindowRect(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) const {
    if (adjustWindowRectExForDpi_) {
        return adjustWindowRectExForDpi_(rect, style, FALSE, exStyle, dpi) != FALSE;
    }
    return AdjustWindowRectEx(rect, style, FALSE, exStyle) != FALSE;
}

bool DpiFunctions::nonClientMetrics(NONCLIENTMETRICSW& metrics, UINT dpi) const {
    metrics.cbSize = sizeof metrics;
    if (systemParametersInfoForDpi_) {
        return systemParametersInfoForDpi_(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                           dpi) != FALSE;
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
    const int system = static_cast<int>(systemDpi());
    if (static_cast<int>(dpi) != system) {
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), system);
    }
    return true;
}

const DpiFunctions& dpiFunctions() {
    static const DpiFunctions functions(GetModuleHandleW(L"user32.dll"));
    return functions;
}

}  // namespace quorvane::ui
