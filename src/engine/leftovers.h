#pragma once

// Clearing what interrupted downloads leave in a folder, so that it never fills with copies.

#include <chrono>
#include <filesystem>

namespace quorvane::engine {

inline constexpr std::chrono::hours kLeftoverAge{7 * 24};

// Removes the temporary files and resume records (and the random-named temporary files of earlier
// versions) whose target has not been started for `age`, or whose target exists complete. Quiet:
// what cannot be removed stays.
void removeLeftovers(const std::filesystem::path& folder, std::chrono::hours age = kLeftoverAge);

}  // namespace quorvane::engine
