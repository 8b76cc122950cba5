#pragma once

// The name of the hidden temporary file a download is written under beside its target, and the
// file-name length limit that both names must keep.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace quorvane::engine {

// The longest file name the file systems in use accept: 255 bytes on Linux, 255 UTF-16 units on
// Windows.
inline constexpr std::size_t kLongestFileName = 255;
#ifdef _WIN32
inline constexpr const char* kFileNameUnits = "UTF-16 units";
#else
inline constexpr const char* kFileNameUnits = "bytes";
#endif

// A file name's length as the platform counts it: path::native() holds bytes on POSIX and UTF-16
// units on Windows.
std::size_t fileNameLength(const std::filesystem::path& name);

// "." + the target's file name + suffix, the target's name cut at a whole character where needed
// so that the whole fits within kLongestFileName.
std::filesystem::path hiddenFileName(const std::filesystem::path& targetName,
                                     std::string_view suffix);

// "." + the target's file name + "." + tag + ".part". The target's name is cut at a whole
// character where needed, so that a target name that fits never gets a temporary name that does
// not.
std::filesystem::path partFileName(const std::filesystem::path& targetName, std::string_view tag);

}  // namespace quorvane::engine
