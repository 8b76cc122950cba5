#pragma once

// The checks a .torrent from the network passes before the swarm uses it: bounded, well-formed,
// one file whose name and size fit what the caller expects.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::swarm {

inline constexpr std::size_t kLargestTorrent = 4 << 20;
// Far beyond any game client, and well inside 64-bit arithmetic.
inline constexpr std::int64_t kLargestFile = std::int64_t{1} << 40;

struct TorrentFacts {
    std::string name;  // the one file's name, UTF-8
    std::int64_t size = 0;
    std::string infoHashV1;  // 40 hex digits, empty for a v2-only torrent
    std::string infoHashV2;  // 64 hex digits, empty for a v1-only torrent
};

// The facts of a torrent that describes exactly one file of a plain name (no folder, no
// separator, not hidden) and of a size from 1 byte to kLargestFile; nothing, with why in
// `problem`, for anything else. When expectedName is not empty the file must carry it.
std::optional<TorrentFacts> checkTorrent(std::string_view bytes, std::string_view expectedName,
                                         std::string& problem);

}  // namespace quorvane::swarm
