#pragma once

// The main window as its definition gives it, for every front end alike: the caption, the client
// area, and each control's kind, place, caption, colours, alignment and initial state. Each window
// builds its controls from this table, in its order (which is also the keyboard focus order).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ui/controls.h"

namespace quorvane::ui {

enum class ControlKind {
    webView,
    transparentLabel,  // one line straight on the window's background, disabled for good
    dropDownList,      // picks one item, takes no typed text
    progressBar,
    pushButton,
    editBox,    // one line, never shown
    numberBox,  // one line of a whole number, never shown
    label,      // never shown
};

enum class TextAlignment { left, centre, right };

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour kDarkBlue{0, 0, 128};
inline constexpr Colour kBlue{0, 136, 255};
inline constexpr Colour kWhite{255, 255, 255};

// Client pixels at 96 DPI.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    constexpr int right() const { return left + width; }
    constexpr int bottom() const { return top + height; }
};

struct ControlDefinition {
    Control control;
    ControlKind kind;
    Box geometry;
    std::string_view caption;  // UTF-8: a label's caption, a button's, an edit box's content
    std::optional<Colour> textColour;  // none: the platform's
    std::optional<Colour> background;  // none: the platform's
    TextAlignment alignment = TextAlignment::left;
    bool shown = true;    // false: hidden for the whole run
    bool enabled = true;  // at creation
    bool wraps = false;   // a label over more than one line
    // The numbers it takes (a number box) or shows (the bar); both 0 for other kinds.
    int minimum = 0;
    int maximum = 0;
    // What a screen reader calls a control without a caption of its own; empty for the others.
    std::string_view accessibleName;
};

inline constexpr std::string_view kWindowCaption = "Quorvane下载器";
// The client area, kept whatever the platform's frame; the outer size is the definition's, frame
// and title bar included, for centring before the frame is known.
inline constexpr int kClientWidth = 448;
inline constexpr int kClientHeight = 432;
inline constexpr int kOuterWidth = 454;
inline constexpr int kOuterHeight = 461;

using WindowDefinition = std::array<ControlDefinition, kControlCount>;

// Every control, in the definition's order; each control's row sits at its enum value.
const WindowDefinition& windowDefinition();
const ControlDefinition& definitionOf(Control control);

}  // namespace quorvane::ui
