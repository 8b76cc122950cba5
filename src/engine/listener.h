#pragma once

#include <cstdint>

#include "engine/job_options.h"

namespace quorvane::engine {

// Told what happens to the jobs. Called on the engine's thread only, and for a job only after
// Engine::start has returned its handle; keep the work short (post it elsewhere).
class Listener {
  public:
    virtual ~Listener() = default;
    // At most once per job, when the total size is known, before any space is reserved for it.
    // room: the bytes the file may take on its volume (free space plus what a resumed file already
    // holds), measured before the reservation; -1 when the system cannot tell.
    virtual void onSizeKnown(JobId job, std::int64_t totalSize, std::int64_t room) = 0;
    // Exactly once per job, after which the job is gone.
    virtual void onJobEnded(JobId job, const JobReport& report) = 0;
};

}  // namespace quorvane::engine
