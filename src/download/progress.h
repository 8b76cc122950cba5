#pragma once

// The percentage, the bar, which file of how many, and the notification-area tip.

namespace quorvane {

struct Context;

// A tick of 时钟. Does anything only while a download runs (the start button is disabled), and
// writes each control only when its value changes.
void showProgress(Context& c);
void showFileCount(Context& c);

}  // namespace quorvane
