#include "ui/win32/window_controls.h"

#include <commctrl.h>

namespace quorvane::ui {

namespace {

// How much room the file chooser's list gets when it drops down, beyond its closed height.
constexpr int kDropDownListHeight = 200;

struct ControlDefinition {
    Control control;
    const wchar_t* windowClass;
    DWORD style;
    RECT geometry;  // left, top, right, bottom at 96 DPI
    const wchar_t* caption;
};

constexpr RECT box(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
// Owner-drawn so that their colour holds although they are disabled for good.
constexpr DWORD kTransparentLabel = kChild | WS_DISABLED | SS_OWNERDRAW | SS_NOPREFIX;
constexpr DWORD kHiddenLabel = WS_CHILD | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;

// In the definition's order, which is also the keyboard focus order.
const ControlDefinition kDefinitions[kControlCount] = {
    {Control::超文本浏览框1, L"STATIC", kChild | WS_CLIPCHILDREN | SS_NOTIFY, box(8, 8, 432, 220),
     L""},
    {Control::透明标签1, L"STATIC", kTransparentLabel, box(8, 238, 432, 20),
     L"正在读取文件列表，请稍候！(1)"},
    {Control::组合框1, WC_COMBOBOXW, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
     box(8, 268, 432, 20), L""},
    {Control::解压哪个文件透明标签, L"STATIC", kTransparentLabel, box(8, 297, 432, 24), L""},
    {Control::下载进度透明标签, L"STATIC", kTransparentLabel, box(8, 324, 216, 24), L""},
    {Control::当前文件透明标签, L"STATIC", kTransparentLabel, box(224, 324, 216, 24), L""},
    {Control::进度条, PROGRESS_CLASSW, kChild, box(7, 356, 433, 24), L""},
    {Control::超级按钮_接收, L"BUTTON", kButton, box(13, 392, 83, 28), L"开始下载"},
    {Control::超级按钮_取消, L"BUTTON", kButton, box(120, 392, 83, 28), L"取消下载"},
    {Control::超级按钮_打开已下载文件, L"BUTTON", kButton, box(224, 392, 208, 28),
     L"打开下载文件保存的文件夹"},
    // Below the client area, so it is never seen; not reached with Tab, and hidden, so that no
    // screen reader meets it either.
    {Control::编辑框A1, L"EDIT", WS_CHILD | ES_AUTOHSCROLL, box(392, 500, 8, 16), L""},
    {Control::编辑框2, L"EDIT", WS_CHILD | ES_NUMBER | ES_AUTOHSCROLL, box(8, 440, 48, 20), L"10"},
    {Control::标签3, L"STATIC", kHiddenLabel, box(8, 464, 200, 20), L"下载线程（1-100）："},
    {Control::标签4, L"STATIC", kHiddenLabel, box(8, 488, 432, 40),
     L"下载线程设置的越高下载速度越快，但不宜设置太高，设置太高可能导致下载异常或不能下载。"
     L"（推荐值10）"},
    {Control::标签1, L"STATIC", kHiddenLabel, box(8, 532, 200, 20), L"请选择要下载的文件："},
};

int scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// A drop-down list's closed height follows from its selection field, and the frame around that
// differs between the system's looks: set the field, measure, and correct until the height fits.
// (What the field's height reads back also differs, so only the values set here count.)
void setClosedHeight(HWND chooser, int height) {
    int field = height - 6;
    for (int attempt = 0; attempt < 3 && field > 0; ++attempt) {
        SendMessageW(chooser, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        RECT closed{};
        GetWindowRect(chooser, &closed);
        const int difference = height - static_cast<int>(closed.bottom - closed.top);
        if (difference == 0) return;
        field += difference;
    }
}

}  // namespace

RECT definedGeometry(Control control) {
    return kDefinitions[static_cast<int>(control)].geometry;
}

bool isTransparentLabel(Control control) {
    return (kDefinitions[static_cast<int>(control)].style & SS_TYPEMASK) == SS_OWNERDRAW;
}

std::optional<COLORREF> textColour(Control control) {
    switch (control) {
        case Control::解压哪个文件透明标签:
            return kBlue;
        case Control::透明标签1:
        case Control::下载进度透明标签:
        case Control::当前文件透明标签:
        case Control::组合框1:
        case Control::编辑框2:
        case Control::标签3:
        case Control::标签4:
        case Control::标签1:
            return kDarkBlue;
        default:
            return std::nullopt;
    }
}

UINT labelAlignment(Control control) {
    switch (control) {
        case Control::下载进度透明标签:
            return DT_LEFT;
        case Control::当前文件透明标签:
            return DT_RIGHT;
        default:
            return DT_CENTER;
    }
}

std::optional<Control> WindowControls::controlOf(HWND child) const {
    if (!child) return std::nullopt;
    for (int i = 0; i < kControlCount; ++i) {
        if (handles[i] == child) return static_cast<Control>(i);
    }
    return std::nullopt;
}

WindowControls createWindowControls(HWND window) {
    WindowControls controls;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const ControlDefinition& definition : kDefinitions) {
        const RECT& r = definition.geometry;
        controls.handles[static_cast<int>(definition.control)] = CreateWindowExW(
            0, definition.windowClass, definition.caption, definition.style, r.left, r.top,
            r.right - r.left, r.bottom - r.top, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(definition.control))), instance,
            nullptr);
    }
    const HWND bar = controls.handle(Control::进度条);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    return controls;
}

void layoutWindowControls(const WindowControls& controls, UINT dpi, HFONT font) {
    for (const ControlDefinition& definition : kDefinitions) {
        const HWND control = controls.handle(definition.control);
        if (!control) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const RECT& r = definition.geometry;
        int height = scaled(r.bottom - r.top, dpi);
        // A drop-down list's window height is that of its open list.
        const bool chooser = definition.control == Control::组合框1;
        SetWindowPos(control, nullptr, scaled(r.left, dpi), scaled(r.top, dpi),
                     scaled(r.right - r.left, dpi),
                     chooser ? height + scaled(kDropDownListHeight, dpi) : height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (chooser) setClosedHeight(control, height);
    }
}

}  // namespace quorvane::ui
