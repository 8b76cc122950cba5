#pragma once

// Torrents of pattern files for the swarm's tests, on either system.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane::testing {

// A torrent of a pattern file of this size named `name` (made in `folder`, where it stays as the
// seed's copy), with these web seeds and this tracker.
std::string patternTorrent(const std::filesystem::path& folder, const std::string& name,
                           std::int64_t size, const std::vector<std::string>& webSeeds,
                           const std::string& tracker);

// The torrent's info hashes as a tracker sees them: v1, and v2 cut to 20 bytes.
std::vector<std::string> announcedHashes(const std::string& torrent);

void writeFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace quorvane::testing
