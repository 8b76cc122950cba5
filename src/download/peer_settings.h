#pragma once

// How the program behaves among other players, and the player's switch to turn that off: a file
// quorvane-downloader.ini beside the program, or in the user's configuration folder
// (~/.config/quorvane-downloader/ on Linux, %APPDATA%\quorvane-downloader\ on Windows):
//
//   [Peers]
//   Enabled=0             ; 1 (the default) shares with other players, 0 uses the servers only
//   UploadLimitKiB=1024   ; to players outside the LAN, KiB/s; 0 for no cap
//   LanDiscovery=0        ; no multicast to find players on the LAN (the tracker still does)
//
// For each key the first file that holds it counts, the one beside the program first (so that
// an internet café decides for its machines).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvane {

struct PeerOptions {
    bool enabled = true;
    std::int64_t uploadLimit = 1024 * 1024;  // bytes/s to peers outside the LAN; 0 for no cap
    bool lanUnlimited = true;                // tests clear it to see the cap on loopback
    bool localDiscovery = true;  // LanDiscovery; tests clear it: no multicast off loopback
    std::string listenInterfaces = "0.0.0.0:0,[::]:0";
    // No payload from anyone for this long and the HTTP engine takes over.
    std::chrono::milliseconds stallTimeout{20'000};
    // The longest the .torrent may take to arrive before the HTTP engine takes over.
    std::chrono::milliseconds torrentPatience{10'000};
    bool shareWhenDone = true;  // finished files are shared until the program ends
};

inline constexpr const char* kPeerSettingsFileName = "quorvane-downloader.ini";

// The options the files say, the defaults where they say nothing. Values that are not whole
// numbers in range are ignored.
PeerOptions peerOptionsFrom(const std::vector<std::filesystem::path>& files);

// Beside the program, then in the user's configuration folder.
std::vector<std::filesystem::path> peerSettingsFiles();

}  // namespace quorvane
