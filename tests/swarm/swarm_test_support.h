#pragma once

// What the swarm tests set up on 127.0.0.1: the operator's tracker (Debian's opentracker, which
// serves only the info hashes of its whitelist), torrents of pattern files (pattern_torrent.h),
// and the fields of quorvane-fetch's JSON line.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pattern_torrent.h"

namespace quorvane::testing {

// opentracker on a loopback port of its own, for the torrents it is told about.
class Tracker {
  public:
    // On the given port (one that was free a moment ago), so that the torrents can name it.
    Tracker(const std::vector<std::string>& torrents, int port);
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;
    std::string announceUrl() const;
    // How many peers (seeds and downloaders) the tracker knows for the torrent's v1 hash.
    int peersOf(const std::string& torrent) const;
    bool running() const { return pid_ > 0; }

  private:
    ScratchFolder folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// Whether something on 127.0.0.1 accepts a connection at port.
bool acceptsConnections(int port);

// A number field of a JSON line; -1 when it is not there.
std::int64_t jsonNumber(const std::string& json, const std::string& field);
std::string jsonText(const std::string& json, const std::string& field);

}  // namespace quorvane::testing
