#pragma once

// The game's lists are written in the Chinese code page GBK (936); the program works in UTF-8.

#include <string>
#include <string_view>

namespace quorvane::platform {

// Invalid or incomplete sequences become U+FFFD; never fails.
std::string gbkToUtf8(std::string_view gbk);
// Characters GBK cannot hold become '?'.
std::string utf8ToGbk(std::string_view utf8);

}  // namespace quorvane::platform
