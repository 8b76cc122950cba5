#pragma once

// What the program tells Qt about itself, shared by the program and the window's tests so that
// both show what the window system gets.

namespace quorvane::ui {

// Name, version and organisation, and the .desktop entry's name. No display name: Qt would
// append it to the title of every window but the main one, message boxes included.
void describeApplication();

}  // namespace quorvane::ui
