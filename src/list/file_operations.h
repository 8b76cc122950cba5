#pragma once

// The small file operations the whole program shares.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorvane {

struct Context;
class System;

// The folder the downloads go into, inside the program folder or the user's downloads folder.
inline constexpr std::string_view kDownloadFolderName = "下载的文件";
// The program's own folder inside the user's cache folder.
inline constexpr std::string_view kCacheFolderName = "quorvane-downloader";

// Sets downloadFolder: for an installed program "下载的文件" in the user's downloads folder;
// otherwise the program folder's "下载的文件", else the program folder (a portable program), else
// the user's one, each only if a test file can be written there.
void prepareDownloadFolder(Context& c);

// 10 to 16 characters drawn from the name table between the two indexes (1 to 36: a-z, 0-9).
std::string makeRandomName(std::int32_t lowest, std::int32_t highest);

// True if a file was there and has been deleted. An empty path or a missing file touches nothing.
bool deleteIfExists(System& system, const std::filesystem::path& path);

// Writes the bytes to folder/<random name><extension>, never over an existing file. Returns the
// path written, or an empty path when the folder cannot take the file.
std::filesystem::path writeUnderRandomName(System& system, const std::filesystem::path& folder,
                                           std::string_view extension, std::string_view bytes);

}  // namespace quorvane
