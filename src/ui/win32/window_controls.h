#pragma once

// The controls of the main window, made from the window's table (ui/window_definition.h). The
// window owns them (child windows); this creates them, places them for the window's DPI and says
// how each is drawn.

#include <windows.h>

#include <array>
#include <optional>

#include "ui/controls.h"
#include "ui/window_definition.h"

namespace quorvane::ui {

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

// Creates every control as a child of window, in the table's order (which is also the keyboard
// focus order), at its place for 96 DPI.
WindowControls createWindowControls(HWND window);

// Places every control for the given DPI and gives it the font.
void layoutWindowControls(const WindowControls& controls, UINT dpi, HFONT font);

inline bool isTransparentLabel(Control control) {
    return definitionOf(control).kind == ControlKind::transparentLabel;
}

inline COLORREF colourRef(const Colour& colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

// Text colour for the controls that have one of their own.
inline std::optional<COLORREF> textColour(Control control) {
    const auto& colour = definitionOf(control).textColour;
    return colour ? std::optional(colourRef(*colour)) : std::nullopt;
}

// DrawText alignment of a transparent label.
UINT labelAlignment(Control control);

}  // namespace quorvane::ui
