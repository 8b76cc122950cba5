#include "platform/free_space.h"

#include <sys/statvfs.h>
#include <limits>

namespace quorvane::platform {

namespace {

std::optional<std::int64_t> availableBytes(const std::filesystem::path& path) {
    struct statvfs volume {};
    if (::statvfs(path.c_str(), &volume) != 0) return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t blocks = volume.f_bavail;
    const std::uint64_t blockSize = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    if (blockSize != 0 && blocks > kMax / blockSize)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(blocks * blockSize);
}

}  // namespace

// A path that does not exist yet (a file about to be downloaded) is measured on the volume of
// its nearest existing parent.
std::optional<std::int64_t> freeSpaceBytes(const std::filesystem::path& onVolumeOf) {
    if (onVolumeOf.empty()) return std::nullopt;
    std::filesystem::path path = onVolumeOf;
    for (int level = 0; level < 256; ++level) {
        if (auto bytes = availableBytes(path)) return bytes;
        if (!path.has_relative_path() || path.parent_path() == path) break;
        path = path.parent_path();
    }
    return std::nullopt;
}

}  // namespace quorvane::platform
