#pragma once

// quorvane-fetch --torrent: the download with other players and the torrent's web seeds.

#include <atomic>

#include "fetch_arguments.h"

namespace quorvane::fetch {

// Runs the download (and the sharing afterwards) to its end and prints its JSON line; the exit
// status is the same as for an address.
int fetchWithPeers(const Arguments& arguments, const std::atomic<int>& interruptingSignal);

}  // namespace quorvane::fetch
