#pragma once

// Turns the accepted list into the window's choices and keeps them consistent.

#include <string>
#include <string_view>

namespace quorvane {

struct Context;

// Fills 组合框1 with the entries' names, chooses the first and applies its settings, then
// enables the start button. Runs on the list worker.
void fillFileChooser(Context& c);

// The value of <section><chosen entry number> in the section, e.g. Add1 for the first entry, as
// an address: the list's own bytes, percent-encoded (see list_address.h).
std::string readEntryItem(Context& c, std::string_view section);

// The chosen entry's connection count (10, or 1 for the list's single-connection entries) into
// 编辑框2 and its address into 编辑框A1.
void applyEntrySettings(Context& c);

// Keeps the count in 编辑框2 between 1 and 10.
void clampConnectionCount(Context& c);

}  // namespace quorvane
