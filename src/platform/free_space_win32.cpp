#include "platform/free_space.h"

#include "platform/windows_path_win32.h"

#include <limits>

namespace quorvane::platform {

namespace {

std::optional<std::int64_t> availableBytes(const std::filesystem::path& folder) {
    ULARGE_INTEGER available{};
    std::wstring path = win32Path(folder);
    // The call wants a folder; a root such as "C:" needs its separator.
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min<std::uint64_t>(available.QuadPart, kMax));
}

}  // namespace

// A path that does not exist yet (a file about to be downloaded) is measured on the volume of
// its nearest existing folder.
std::optional<std::int64_t> freeSpaceBytes(const std::filesystem::path& onVolumeOf) {
    if (onVolumeOf.empty()) return std::nullopt;
    std::filesystem::path path = onVolumeOf;
    for (int level = 0; level < 256; ++level) {
        const DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return availableBytes(path);
        }
        if (!path.has_relative_path() || path.parent_path() == path) break;
        path = path.parent_path();
    }
    return std::nullopt;
}

}  // namespace quorvane::platform
