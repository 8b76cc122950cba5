#pragma once

// The page the web view shows: the game's web page, a build setting.

#include <string_view>

namespace quorvane::ui {

// UTF-8.
std::string_view defaultStartPage();

}  // namespace quorvane::ui
