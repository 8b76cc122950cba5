#pragma once

// Peer-assisted downloads: one libtorrent session on a thread of its own, which pops the
// session's alerts in batches and drives the jobs. Jobs are started and stopped from any thread;
// what happens to them is told to the Listener on the session's thread.

#include <memory>
#include <thread>

#include "swarm/swarm_options.h"

namespace quorvane::swarm {

struct JobHandle {
    JobId id = 0;
    std::shared_ptr<const JobProgress> progress;  // lock-free reads from any thread
};

class Session {
  public:
    Session(Listener& listener, const PeerSettings& settings);
    // Interrupts every job (each still ends, as stopped, keeping what it has for a resume),
    // stops sharing, and joins the session's thread.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Hands the job to the session's thread and returns at once. The job reports into
    // `progress` when one is given (a counter its caller handed out already).
    JobHandle start(JobOptions options, std::shared_ptr<JobProgress> progress = nullptr);
    // Ends the job as stopped, unless it has already ended. What it fetched is removed, unless
    // keepForResume asks to keep it for a later job for the same torrent and target.
    void stop(JobId job, bool keepForResume = false);
    // The port peers reach this session on; 0 until it listens (or when peers are off).
    int listenPort() const;

  private:
    class Loop;
    std::unique_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace quorvane::swarm
