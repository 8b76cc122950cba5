#include "swarm/torrent_maker.h"

#include <libtorrent/create_torrent.hpp>

#include <system_error>

namespace quorvane::swarm {

std::optional<std::string> makeTorrent(const TorrentRecipe& recipe, std::string& problem) {
    std::error_code error;
    const auto size = std::filesystem::file_size(recipe.file, error);
    if (error || size == 0) {
        problem = error ? error.message() : "the file is empty";
        return std::nullopt;
    }
    const std::u8string name = recipe.file.filename().u8string();
    lt::file_storage files;
    files.add_file(std::string(name.begin(), name.end()), static_cast<std::int64_t>(size));
    // Without flags the torrent is hybrid: v1 clients and v2 clients share one swarm.
    lt::create_torrent torrent(files, recipe.pieceSize);
    for (const auto& seed : recipe.webSeeds) torrent.add_url_seed(seed);
    int tier = 0;
    for (const auto& tracker : recipe.trackers) torrent.add_tracker(tracker, tier++);
    torrent.set_creator("quorvane-check-list");
    const std::u8string folder = recipe.file.parent_path().u8string();
    lt::error_code hashing;
    lt::set_piece_hashes(torrent, std::string(folder.begin(), folder.end()), hashing);
    if (hashing) {
        problem = hashing.message();
        return std::nullopt;
    }
    const std::vector<char> bytes = torrent.generate_buf();
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace quorvane::swarm
