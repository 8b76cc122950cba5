#include "pattern_torrent.h"

#include <fstream>

#include "engine_test_support.h"
#include "swarm/torrent_check.h"
#include "swarm/torrent_maker.h"

namespace quorvane::testing {

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

std::string patternTorrent(const std::filesystem::path& folder, const std::string& name,
                           std::int64_t size, const std::vector<std::string>& webSeeds,
                           const std::string& tracker) {
    writeFile(folder / name, patternBytes(size));
    swarm::TorrentRecipe recipe;
    recipe.file = folder / name;
    recipe.webSeeds = webSeeds;
    if (!tracker.empty()) recipe.trackers = {tracker};
    recipe.pieceSize = 64 * 1024;  // many pieces even in a small file, for peers to trade
    std::string problem;
    return swarm::makeTorrent(recipe, problem).value_or("");
}

std::vector<std::string> announcedHashes(const std::string& torrent) {
    std::string problem;
    auto facts = swarm::checkTorrent(torrent, "", problem);
    if (!facts) return {};
    std::vector<std::string> hashes;
    if (!facts->infoHashV1.empty()) hashes.push_back(facts->infoHashV1);
    if (!facts->infoHashV2.empty()) hashes.push_back(facts->infoHashV2.substr(0, 40));
    return hashes;
}

}  // namespace quorvane::testing
