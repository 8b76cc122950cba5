#pragma once

// The one event a control write raises itself, the same in every window and in the tests' fake.

#include "ui/controls.h"
#include "ui/window_events.h"

namespace quorvane::ui {

// After a text was written to control, on the window's thread: a write to 编辑框2 counts as a
// change, also one that leaves the text as it was, and its correction runs before the write
// returns (the list presentation relies on both).
inline void afterTextWritten(WindowEvents* events, Control control) {
    if (control == Control::编辑框2 && events) events->clampConnectionCount();
}

}  // namespace quorvane::ui
