#pragma once

// The download engine: one thread driving libcurl's multi interface for any number of jobs. Jobs
// are started and stopped from any thread; what happens to them is told to the Listener on the
// engine's thread.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/job_options.h"
#include "engine/listener.h"

namespace quorvane::engine {

struct JobHandle {
    JobId id = 0;
    std::shared_ptr<const JobProgress> progress;  // lock-free reads from any thread
};

class Engine {
  public:
    explicit Engine(Listener& listener);
    // Stops every job (each still ends, as stopped, keeping what it has for a resume, as after a
    // crash), also one started just before or from inside a listener call meanwhile, and joins
    // the engine's thread.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Hands the job to the engine's thread and returns at once. The listener hears of the job
    // only after this has returned. Never destroy the engine from inside a listener call.
    JobHandle start(JobOptions options);
    // Ends the job as stopped, unless it has already ended; within a fraction of a second. What
    // it has fetched is removed, unless keepForResume asks to keep it, with its record, for a later
    // job for the same source and target.
    void stop(JobId job, bool keepForResume = false);

  private:
    struct Command;
    class Loop;

    std::unique_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace quorvane::engine
