#pragma once

// The slow work on a job's file, on a thread of its own so that the engine's thread never waits
// for the disk: checkpoints (flush the data written so far, then replace the resume record that
// claims it) and the SHA-256 of the file, which follows the front of the bytes written in order.
// Bytes are hashed from the memory they arrived in where the memory set aside for that allows;
// the rest is read back from the file once the front reaches it (from the page cache, as a rule).

#include <condition_variable>
#include <cstdint>
#include <map>
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
    // `bytes` are written at `offset`: they are hashed as they are instead of being read back
    // when the hash gets there. Takes them, leaving an empty buffer of the same capacity in their
    // place, unless the memory set aside for the hash holds bytes it needs sooner.
    void hashFromMemory(std::int64_t offset, std::vector<char>& bytes);
    // Waits until the hash has taken in `size` bytes; the digest in hex, or nothing when the file
    // could not be read back.
    std::optional<std::string> finishHash(std::int64_t size);

  private:
    void run();
    void writeCheckpoint(const ResumeRecord& record);
    bool hashWanted() const;  // with the lock held
    void hashSome(std::unique_lock<std::mutex>& lock);
    void hashBlock(std::unique_lock<std::mutex>& lock);
    void readBackAndHash(std::unique_lock<std::mutex>& lock);

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
    bool finishing_ = false;  // the digest is awaited: nothing is left for later
    bool readFailed_ = false;
    std::map<std::int64_t, std::vector<char>> inMemory_;  // by offset, all after hashed_
    std::size_t inMemoryBytes_ = 0;
    std::vector<std::vector<char>> spares_;  // buffers no longer needed, to be handed back
    std::vector<char> readBuffer_;           // the worker's own
    std::thread thread_;
};

}  // namespace quorvane::engine
