#pragma once

// Files and folders. Paths are std::filesystem paths; texts that hold paths are UTF-8.
// No function throws.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

std::filesystem::path pathFromUtf8(std::string_view utf8);
// With the platform's own separator, as a person sees the path.
std::string utf8FromPath(const std::filesystem::path& path);

// The folder that holds the running program file.
std::filesystem::path programFolder();

bool folderExists(const std::filesystem::path& folder);
bool createFolder(const std::filesystem::path& folder);
bool fileExists(const std::filesystem::path& file);  // a regular file, not a folder
// Anything at all at the path: a file, a folder, a link (also one that leads nowhere).
bool somethingExists(const std::filesystem::path& path);
bool deleteFile(const std::filesystem::path& file);

// Creates the file, failing if anything already exists at the path, and writes the bytes; a
// failed write removes what it created.
bool writeNewFile(const std::filesystem::path& file, std::string_view bytes);
// The whole file; nullopt when it cannot be read or holds more than maxBytes.
std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::size_t maxBytes);

}  // namespace quorvane::platform
