#include "download/torrent_fetch.h"

#include <curl/curl.h>

#include "platform/http_read.h"
#include "swarm/torrent_check.h"

namespace quorvane {
namespace {

// The text after the last "/" of the address, percent-decoded: the name the list's sections use.
std::string serverNameOf(std::string_view address) {
    while (!address.empty() && (address.back() == ' ' || address.back() == '\t'))
        address.remove_suffix(1);
    const std::string_view encoded = address.substr(address.rfind('/') + 1);
    int length = 0;
    char* decoded =
        curl_easy_unescape(nullptr, encoded.data(), static_cast<int>(encoded.size()), &length);
    if (decoded == nullptr) return {};
    std::string name(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    return name;
}

}  // namespace

std::optional<FetchedTorrent> fetchTorrentFor(const std::string& sourceAddress,
                                              const std::string& torrentAddress,
                                              std::chrono::milliseconds patience,
                                              const std::atomic<bool>& cancel,
                                              std::string& problem) {
    platform::HttpReadLimits limits;
    limits.connectTimeoutMs = static_cast<long>(std::min<std::int64_t>(patience.count(), 10'000));
    limits.totalTimeoutMs = static_cast<long>(patience.count());
    limits.maxBodyBytes = swarm::kLargestTorrent;
    const std::string bytes = platform::httpRead(torrentAddress, cancel, limits);
    if (bytes.empty()) {
        problem = "the torrent " + torrentAddress + " could not be read";
        return std::nullopt;
    }
    const std::string serverName = serverNameOf(sourceAddress);
    if (serverName.empty()) {
        problem = "the address has no file name";
        return std::nullopt;
    }
    auto facts = swarm::checkTorrent(bytes, serverName, problem);
    if (!facts) return std::nullopt;
    return FetchedTorrent{bytes, facts->size};
}

}  // namespace quorvane
