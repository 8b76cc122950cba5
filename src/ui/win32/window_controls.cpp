#include "ui/win32/window_controls.h"

#include <commctrl.h>

#include "platform/windows_path_win32.h"

namespace quorvane::ui {

namespace {

// How much room the file chooser's list gets when it drops down, beyond its closed height.
constexpr int kDropDownListHeight = 200;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct WindowKind {
    const wchar_t* windowClass;
    DWORD style;
};

WindowKind windowKind(const ControlDefinition& d) {
    switch (d.kind) {
        case ControlKind::webView:
            return {L"STATIC", kChild | WS_CLIPCHILDREN | SS_NOTIFY};
        case ControlKind::transparentLabel:
            // Owner-drawn so that their colour holds although they are disabled for good.
            return {L"STATIC", kChild | SS_OWNERDRAW | SS_NOPREFIX};
        case ControlKind::dropDownList:
            return {WC_COMBOBOXW, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
        case ControlKind::progressBar:
            return {PROGRESS_CLASSW, kChild};
        case ControlKind::pushButton:
            return {L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON};
        case ControlKind::editBox:
            return {L"EDIT", kChild | ES_AUTOHSCROLL};
        case ControlKind::numberBox:
            return {L"EDIT", kChild | ES_NUMBER | ES_AUTOHSCROLL};
        case ControlKind::label:
            return {L"STATIC", kChild | SS_LEFT | SS_NOPREFIX};
    }
    return {L"STATIC", kChild};
}

DWORD styleOf(const ControlDefinition& d) {
    DWORD style = windowKind(d).style;
    if (!d.shown) style &= ~static_cast<DWORD>(WS_VISIBLE);
    if (!d.enabled) style |= WS_DISABLED;
    return style;
}

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

UINT labelAlignment(Control control) {
    switch (definitionOf(control).alignment) {
        case TextAlignment::left:
            return DT_LEFT;
        case TextAlignment::right:
            return DT_RIGHT;
        case TextAlignment::centre:
            break;
    }
    return DT_CENTER;
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
    for (const ControlDefinition& d : windowDefinition()) {
        const Box& r = d.geometry;
        const std::wstring caption = platform::wideFromUtf8(d.caption);
        controls.handles[static_cast<int>(d.control)] = CreateWindowExW(
            0, windowKind(d).windowClass, caption.c_str(), styleOf(d), r.left, r.top, r.width,
            r.height, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(d.control))),
            instance, nullptr);
    }
    const ControlDefinition& bar = definitionOf(Control::进度条);
    SendMessageW(controls.handle(Control::进度条), PBM_SETRANGE32, bar.minimum, bar.maximum);
    SendMessageW(controls.handle(Control::进度条), PBM_SETPOS, bar.minimum, 0);
    return controls;
}

void layoutWindowControls(const WindowControls& controls, UINT dpi, HFONT font) {
    for (const ControlDefinition& d : windowDefinition()) {
        const HWND control = controls.handle(d.control);
        if (!control) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const Box& r = d.geometry;
        const int height = scaled(r.height, dpi);
        // A drop-down list's window height is that of its open list.
        const bool chooser = d.kind == ControlKind::dropDownList;
        SetWindowPos(control, nullptr, scaled(r.left, dpi), scaled(r.top, dpi),
                     scaled(r.width, dpi),
                     chooser ? height + scaled(kDropDownListHeight, dpi) : height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (chooser) setClosedHeight(control, height);
    }
}

}  // namespace quorvane::ui
