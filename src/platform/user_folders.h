#pragma once

// The current user's own folders, used when the program's folder cannot be written (a program
// installed for all users). No function throws.

#include <filesystem>

namespace quorvane::platform {

// The user's download folder (the desktop's configured one, else Downloads in the home folder),
// created when missing.
std::filesystem::path userDownloadsFolder();
// The user's cache folder for files that may be lost at any time; empty when there is none.
std::filesystem::path userCacheFolder();
// The user's configuration folder (XDG_CONFIG_HOME or ~/.config; the roaming AppData on
// Windows), not created; empty when there is none.
std::filesystem::path userConfigFolder();
// The user's temporary folder.
std::filesystem::path userTempFolder();

}  // namespace quorvane::platform
