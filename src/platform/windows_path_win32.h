#pragma once

// The Win32 side of paths and texts: UTF-16 for the W functions, UTF-8 everywhere else.

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvane::platform {

std::wstring wideFromUtf8(std::string_view utf8);
std::string utf8FromWide(std::wstring_view wide);

// The path as the W functions take it: absolute, backslashes only, and with the "\\?\" prefix when
// it is long, so that paths past MAX_PATH work wherever the volume allows them.
std::wstring win32Path(const std::filesystem::path& path);

// A GetLastError code in words, in UTF-8: a short English phrase for the failures a download
// meets most (a full disk, a missing folder, a denied or shared file, a path too long), the
// system's own text without the trailing line break for the rest.
std::string describeWin32Error(DWORD error);

}  // namespace quorvane::platform
