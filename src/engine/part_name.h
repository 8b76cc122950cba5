#pragma once

// The names of the hidden files a download keeps beside its target, and the file-name length
// limit that they and the target must keep.

#include <cstddef>
#include <filesystem>
#include <string>
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

// How many hex digits the random tag of a tagged name has.
inline constexpr std::size_t kTagLength = 16;

// kTagLength hex digits from the system's source of randomness: a name no other download, and no
// earlier run, is likely to have used.
std::string randomTag();

// A file name's length as the platform counts it: path::native() holds bytes on POSIX and UTF-16
// units on Windows.
std::size_t fileNameLength(const std::filesystem::path& name);

// "." + the target's file name + suffix. Where that would not fit within kLongestFileName, the
// target's name is cut at a whole character and followed by "~" and a digest of the whole name,
// so that two long names that differ only near their end still get hidden names of their own.
std::filesystem::path hiddenFileName(const std::filesystem::path& targetName,
                                     std::string_view suffix);

// "." + the target's file name + "." + tag + ".part", shortened like hiddenFileName: a target
// name that fits never gets a temporary name that does not.
std::filesystem::path partFileName(const std::filesystem::path& targetName, std::string_view tag);

// "." + the target's file name + "." + tag + ".pnew", shortened the same way: a new name for
// each version of the resume record while it is being written.
std::filesystem::path stagingFileName(const std::filesystem::path& targetName,
                                      std::string_view tag);
// Whether `name` is stagingFileName(targetName, tag) for some tag of kTagLength hex digits.
bool isStagingFileName(const std::filesystem::path& name, const std::filesystem::path& targetName);

}  // namespace quorvane::engine
