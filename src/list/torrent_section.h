#pragma once

// The list's optional section "Torrent": where the .torrent of a file lies, keyed like "Sha256"
// by the server's file name, so that other players can help with the download:
//
//   [Torrent]
//   client.part1.rar=https://dl.example/torrents/client.part1.rar.torrent
//   client.part2.rar=https://dl.example/torrents/client.part2.rar.torrent
//
// Only http and https addresses count. Lists without the section work as before, and programs
// that do not know it ignore it.

#include <string>
#include <string_view>

namespace quorvane {

struct Context;

// The list's torrent address for the file of this source address; empty when the list gives
// none, or one that is not http or https.
std::string listedTorrent(Context& c, std::string_view source);

}  // namespace quorvane
