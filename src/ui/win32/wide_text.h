#pragma once

// The window keeps its texts in UTF-8 like the rest of the program; Win32 wants UTF-16.

#include <string>
#include <string_view>

namespace quorvane::ui {

std::wstring wideFromUtf8(std::string_view utf8);
std::string utf8FromWide(std::wstring_view wide);

}  // namespace quorvane::ui
