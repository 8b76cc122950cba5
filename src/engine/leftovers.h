#pragma once

// Clearing what interrupted downloads leave in a folder, so that it never fills with copies, and
// never taking anything that is not provably theirs.

#include <chrono>
#include <filesystem>

namespace quorvane::engine {

inline constexpr std::chrono::hours kLeftoverAge{7 * 24};

// Removes from `folder`, once untouched for `age`: a resume record that parses together with its
// part file, a part file without such a record (also the random-named ones), and a record's next
// version that parses but was never put in place. A record that parses goes at once when its part
// file is gone, as it can resume nothing. Never a part file that a running job holds locked, a
// link or anything but a plain file, nor a record that does not parse, whatever its age. Quiet:
// what cannot be removed stays.
void removeLeftovers(const std::filesystem::path& folder, std::chrono::hours age = kLeftoverAge);

// Removes the versions of the target's record that a job left while writing them (see
// stagingFileName); for the job that holds the target's part file.
void removeStagingLeftovers(const std::filesystem::path& target);

}  // namespace quorvane::engine
