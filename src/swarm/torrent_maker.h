#pragma once

// Makes the .torrent the operator publishes for one file: hybrid (BitTorrent v1 and v2), with
// the file's addresses as web seeds (BEP 19) and the operator's tracker.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::swarm {

struct TorrentRecipe {
    std::filesystem::path file;  // its name is the name in the torrent: the server's file name
    std::vector<std::string> webSeeds;
    std::vector<std::string> trackers;
    int pieceSize = 0;  // 0 lets libtorrent choose by the file's size
};

// The .torrent's bytes; nothing, with why in `problem`, when the file cannot be read.
std::optional<std::string> makeTorrent(const TorrentRecipe& recipe, std::string& problem);

}  // namespace quorvane::swarm
