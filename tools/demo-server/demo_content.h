#pragma once

// What the demo server serves: the game's news page, the download list and the client files.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::demo {

// The news page of the web view: UTF-8 HTML without outside resources.
std::string newsPage();

// The download list in GBK with CR LF line ends; the mirrors' addresses start with mirrorBase,
// e.g. "http://127.0.0.1:18080" (so the mirrors are mirrorBase + "/mirror1" and so on).
std::string downloadList(std::string_view mirrorBase, std::string_view downValue);

// The name of the one file the list names in Chinese, as its GBK bytes.
std::string chineseFileName();

// The file names the list points at (as bytes, GBK where Chinese); every mirror serves all of
// them.
bool isClientFileName(std::string_view name);

// Fills out with the bytes of the named file from offset on. The content depends only on the
// name and the offset, so every mirror and every range request agrees on it.
void fillClientFileBytes(std::string_view name, std::uint64_t offset, std::string& out,
                         std::size_t count);

}  // namespace quorvane::demo
