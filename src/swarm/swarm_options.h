#pragma once

// What a caller tells the swarm about one download, how the program behaves among peers, and
// what the swarm tells back.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/job_options.h"

namespace quorvane::swarm {

using JobId = std::uint64_t;

// The program's manners among peers; one set for the whole session.
struct PeerSettings {
    // Off: no tracker, no LAN discovery, no listening socket and no upload; the web seeds alone.
    bool peers = true;
    // Bytes per second to peers outside the LAN, 0 for no cap.
    std::int64_t uploadLimit = 1024 * 1024;
    // Peers on the LAN (and loopback) are exempt from the cap. Tests clear it to measure the cap
    // with peers that are all on 127.0.0.1.
    bool lanUnlimited = true;
    bool localDiscovery = true;
    // Where to listen for peers; port 0 lets the system choose.
    std::string listenInterfaces = "0.0.0.0:0,[::]:0";
};

struct JobOptions {
    std::string torrent;  // the .torrent file's bytes, already checked (torrent_check.h)
    std::filesystem::path target;
    // The web seeds to use instead of the torrent's own, when not empty.
    std::vector<std::string> webSeeds;
    // When not empty, the SHA-256 the finished file must have before it takes the target's name.
    std::string expectedSha256;
    // No payload from anyone for this long (checking the file on disk aside) fails the job.
    std::chrono::milliseconds stallTimeout{20'000};
    // How often what is on disk is flushed and recorded for a resume.
    std::chrono::milliseconds checkpointInterval{5'000};
    // Once complete, the file stays shared from its final name until the session ends.
    bool seedWhenDone = false;
};

struct JobReport {
    engine::Outcome outcome = engine::Outcome::failed;
    engine::FailureKind failure = engine::FailureKind::none;
    std::string reason;
    std::int64_t bytes = 0;
    std::int64_t totalSize = -1;
    std::int64_t resumedBytes = 0;  // already on disk when the job began
    std::int64_t fromPeers = 0;
    std::int64_t fromWebSeeds = 0;
    std::int64_t uploaded = 0;  // by this job so far
};

// Read from any thread while the job runs, and while its file is shared afterwards.
struct JobProgress {
    std::atomic<std::int64_t> received{0};
    std::atomic<std::int64_t> totalSize{-1};
    std::atomic<std::int64_t> fromPeers{0};
    std::atomic<std::int64_t> fromWebSeeds{0};
    std::atomic<std::int64_t> uploaded{0};
};

// Told what happens to the jobs, on the session's thread only, and for a job only after
// Session::start has returned. Keep the work short (post it elsewhere).
class Listener {
  public:
    virtual ~Listener() = default;
    // Once per job, before the first byte is written. room: free bytes on the target's volume
    // plus what the partial file already holds; -1 when the system cannot tell.
    virtual void onSizeKnown(JobId job, std::int64_t totalSize, std::int64_t room) = 0;
    // Exactly once per job.
    virtual void onJobEnded(JobId job, const JobReport& report) = 0;
};

}  // namespace quorvane::swarm
