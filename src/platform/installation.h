#pragma once

// Whether the running program is an installed copy rather than a portable one. An installed
// program never downloads into its own folder, which the installer made for every user: a
// program started as administrator could write there, and its downloads would then sit in
// Program Files beside the program. No function throws.

#include <filesystem>
#include <string_view>

namespace quorvane::platform {

// What the installer puts beside the program; the portable .zip has none.
inline constexpr std::string_view kInstalledMarkerName = "quorvane-downloader.installed";

// True when the marker is beside the program, and on Windows also for any program inside one of
// the Program Files folders.
bool isInstalledProgram(const std::filesystem::path& programFolder);

}  // namespace quorvane::platform
