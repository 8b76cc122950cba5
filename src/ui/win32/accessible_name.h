#pragma once

// Names for screen readers of controls that have no caption of their own.

#include <windows.h>

namespace quorvane::ui {

// Gives the control the name a screen reader speaks for it. Needs COM on this thread; without
// the system's accessibility services the control keeps the name the system derives.
void setAccessibleName(HWND control, const wchar_t* name);

}  // namespace quorvane::ui
