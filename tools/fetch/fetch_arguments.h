#pragma once

// quorvane-fetch's command line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::fetch {

struct Arguments {
    enum class Action { download, help, version };
    Action action = Action::download;
    int connections = 10;
    std::string output;       // -o: a file, or an existing folder to save into
    bool serverName = false;  // -O: the server's file name in the current folder
    bool quiet = false;       // -q
    std::string sha256;       // --sha256: 64 hex digits, either case; empty for no check
    int saveEveryMs = 1000;   // --save-every: how often the resume record is written; 0 for none
    bool flush = true;        // --no-flush clears it (benchmarks only)
    std::string url;
    // --torrent: a .torrent file or its http(s) address; peers and web seeds instead of url.
    std::string torrent;
    int seedFor = 0;            // --seed-for: seconds to go on sharing once complete
    bool peers = true;          // --no-peers clears it: the web seeds alone
    bool lanDiscovery = true;   // --no-lan-discovery clears it: the tracker's players only
    int uploadLimitKiB = 1024;  // --upload-limit: KiB/s to peers outside the LAN, 0 for no cap
    bool capLan = false;        // --cap-lan: the cap holds on the LAN too (tests, on loopback)
    std::string listen;         // --listen: where to listen for peers, e.g. 127.0.0.1:0
    int stallSeconds = 20;      // --stall-seconds: no payload for this long fails the download
};

// Nothing, with why in `problem`, when the words do not make a command.
std::optional<Arguments> parseArguments(const std::vector<std::string_view>& words,
                                        std::string& problem);

// The last segment of the address's path, percent-decoded; nothing when it is empty or could not
// be a plain file name here (".", "..", a leading dot, a separator or NUL after decoding).
std::optional<std::string> serverFileName(const std::string& url);

extern const char* const kUsage;
extern const char* const kHelp;

}  // namespace quorvane::fetch
