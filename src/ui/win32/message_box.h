#pragma once

// Modal message boxes with the platform's own flag numbers, owned by the window.

#include <windows.h>

#include <string_view>

#include "ui/controls.h"

namespace quorvane::ui {

// Shows the box modal to owner and returns the button pressed. The thread's message loop keeps
// running meanwhile, so timers tick on. Closing a Yes/No box without a choice answers No.
MessageBoxAnswer showMessageBox(HWND owner, std::string_view text, std::string_view title,
                                MessageBoxFlags flags);

}  // namespace quorvane::ui
