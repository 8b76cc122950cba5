#pragma once

// The slow work on a job's file, on a thread of its own so that the engine's thread never waits
// for the disk: checkpoints (flush the data written so far, then replace the resume record that
// claims it) and the SHA-256 of the file, which follows the front of the bytes written in order
// and reads them back from the file (from the page cache, as they were written moments ago).

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/part_file.h"
#include "engine/resume_record.h"
#include "engine/sha256.h"

namespace quorvane::engine {

class FileWorker {
  public:
    // The file must outlive the worker.
    FileWorker(const PartFile& file, ResumeFiles names, bool hashing);
    // Finishes a pending checkpoint, then stops.
    ~FileWorker();
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // Records `record` once the bytes it claims are flushed; a newer one replaces a pending one.
    void checkpoint(ResumeRecord record);
    // Waits until no checkpoint is pending.
    void waitForCheckpoint();
    // Every byte before `end` is written: the hash may follow up to there.
    void hashUpTo(std::int64_t end);
    // Waits until the hash has taken in `size` bytes; the digest in hex, or nothing when the file
    // could not be read back.
    std::optional<std::string> finishHash(std::int64_t size);

  private:
    void run();
    void writeCheckpoint(const ResumeRecord& record);
    void hashSome(std::unique_lock<std::mutex>& lock);

    const PartFile& file_;
    ResumeFiles names_;
    bool hashing_;
    Sha256 hash_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<ResumeRecord> pending_;
    bool writing_ = false;
    bool quitting_ = false;
    std::int64_t hashed_ = 0;
    std::int64_t hashTarget_ = 0;
    bool readFailed_ = false;
    std::vector<char> block_;  // the worker's own
    std::thread thread_;
};

}  // namespace quorvane::engine
