#pragma once

#include <filesystem>

namespace quorvane::platform {

// Asks the desktop's file browser to show the folder. Does not wait for it; leaves no zombie.
// Returns whether the request could be made.
bool openFolder(const std::filesystem::path& folder);

}  // namespace quorvane::platform
