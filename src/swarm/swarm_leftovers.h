#pragma once

// The swarm's resume records (".<target>.srec") whose partial file has gone: removed, so that a
// record never outlives the file it describes.

#include <filesystem>

namespace quorvane::swarm {

// The record kept beside a target, next to the partial file the engine names ".<target>.part".
std::filesystem::path resumeRecordFor(const std::filesystem::path& target);

void removeOrphanRecords(const std::filesystem::path& folder);

}  // namespace quorvane::swarm
