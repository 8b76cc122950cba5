#pragma once

// quorvane-check-list --torrent TRACKER: the operator's torrents of the list's files, one per
// server file name, each with every list address of that file as a web seed and the tracker.

#include <string>
#include <vector>

namespace quorvane::checklist {

struct TorrentOutcome {
    std::vector<std::string> problems;
    // The [Torrent] lines: server file name, the torrent's address beside the file.
    std::vector<std::pair<std::string, std::string>> section;
};

// Downloads each file once into a scratch folder, writes SERVERNAME.torrent into the current
// folder, to be published beside the file (its address + ".torrent").
TorrentOutcome makeListTorrents(const std::vector<std::string>& addresses,
                                const std::string& tracker);

}  // namespace quorvane::checklist
