#include "swarm/torrent_check.h"

#include <libtorrent/torrent_info.hpp>

namespace quorvane::swarm {
namespace {

constexpr std::size_t kLongestName = 255;

bool plainName(std::string_view name) {
    return !name.empty() && name.size() <= kLongestName && !name.starts_with('.') &&
           name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

template <typename Hash>
std::string hexOf(const Hash& hash) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : std::string_view(hash.data(), hash.size())) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xf];
    }
    return hex;
}

}  // namespace

std::optional<TorrentFacts> checkTorrent(std::string_view bytes, std::string_view expectedName,
                                         std::string& problem) {
    if (bytes.empty() || bytes.size() > kLargestTorrent) {
        problem = bytes.empty() ? "the torrent is empty" : "the torrent is larger than 4 MiB";
        return std::nullopt;
    }
    lt::error_code error;
    const lt::torrent_info info(lt::span<char const>(bytes.data(), static_cast<int>(bytes.size())),
                                error, lt::from_span);
    if (error) {
        problem = "the torrent is malformed: " + error.message();
        return std::nullopt;
    }
    const lt::file_storage& files = info.files();
    if (files.num_files() != 1) {
        problem = "the torrent holds " + std::to_string(files.num_files()) + " files, not one";
        return std::nullopt;
    }
    const lt::file_index_t only{0};
    TorrentFacts facts;
    facts.name = files.file_path(only);
    facts.size = files.file_size(only);
    if (!plainName(facts.name) || files.file_flags(only) != lt::file_flags_t{}) {
        problem = "the torrent's file has no plain name";
        return std::nullopt;
    }
    if (!expectedName.empty() && facts.name != expectedName) {
        problem = "the torrent describes " + facts.name + ", not " + std::string(expectedName);
        return std::nullopt;
    }
    if (facts.size <= 0 || facts.size > kLargestFile) {
        problem = "the torrent's file has an impossible size";
        return std::nullopt;
    }
    const lt::info_hash_t& hashes = info.info_hashes();
    if (hashes.has_v1()) facts.infoHashV1 = hexOf(hashes.v1);
    if (hashes.has_v2()) facts.infoHashV2 = hexOf(hashes.v2);
    return facts;
}

}  // namespace quorvane::swarm
