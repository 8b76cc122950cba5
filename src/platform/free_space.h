#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace quorvane::platform {

// Bytes available to this user on the volume that holds the path; nullopt when unknown.
std::optional<std::int64_t> freeSpaceBytes(const std::filesystem::path& onVolumeOf);

}  // namespace quorvane::platform
