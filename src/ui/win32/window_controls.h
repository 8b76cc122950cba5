#pragma once

// The controls of the main window as its definition gives them: kind, position, size, colours,
// alignment, caption and initial state. The window owns them (child windows); this creates them,
// places them for the window's DPI and says how each is drawn.

#include <windows.h>

#include <array>
#include <optional>

#include "ui/controls.h"

namespace quorvane::ui {

inline constexpr int kControlCount = static_cast<int>(Control::标签1) + 1;

// Child-window identifiers; WM_COMMAND names the control by them. Clear of IDOK and IDCANCEL,
// which the dialog keys send.
inline constexpr int kFirstControlId = 100;

struct WindowControls {
    std::array<HWND, kControlCount> handles{};

    HWND handle(Control control) const { return handles[static_cast<int>(control)]; }
    // The control a child window is, or nothing for a window that is none of them.
    std::optional<Control> controlOf(HWND child) const;
};

inline int controlId(Control control) {
    return kFirstControlId + static_cast<int>(control);
}

// Creates every control as a child of window, in the definition's order (which is also the
// keyboard focus order), at its place for 96 DPI.
WindowControls createWindowControls(HWND window);

// Places every control for the given DPI and gives it the font.
void layoutWindowControls(const WindowControls& controls, UINT dpi, HFONT font);

// The definition's rectangle of a control, in client pixels at 96 DPI.
RECT definedGeometry(Control control);

bool isTransparentLabel(Control control);
// Text colour for the controls that have one of their own.
std::optional<COLORREF> textColour(Control control);
// DrawText alignment of a transparent label.
UINT labelAlignment(Control control);

inline constexpr COLORREF kDarkBlue = RGB(0, 0, 128);
inline constexpr COLORREF kBlue = RGB(0, 136, 255);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

}  // namespace quorvane::ui
