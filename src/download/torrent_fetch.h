#pragma once

// The .torrent of a list entry: fetched by the list's own reading rules (HTTP or HTTPS only,
// certificates verified, bounded size and time) and checked against the entry.

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace quorvane {

struct FetchedTorrent {
    std::string bytes;
    std::int64_t size = 0;
};

// The torrent of the file at sourceAddress, when torrentAddress gives one that describes exactly
// that file (the server's file name, one file); nothing, with why in `problem`, otherwise.
std::optional<FetchedTorrent> fetchTorrentFor(const std::string& sourceAddress,
                                              const std::string& torrentAddress,
                                              std::chrono::milliseconds patience,
                                              const std::atomic<bool>& cancel,
                                              std::string& problem);

}  // namespace quorvane
