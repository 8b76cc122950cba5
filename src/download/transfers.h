#pragma once

// The engines below the downloader contract, side by side behind one small interface: the HTTP
// engine, and the swarm where the build has it. EngineDownloader is the one place that chooses.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "download/downloader.h"
#include "engine/job_options.h"

namespace quorvane {

using TransferId = std::uint64_t;

struct TransferEnd {
    DownloadOutcome outcome = DownloadOutcome::failed;
    engine::FailureKind failure = engine::FailureKind::none;
    std::string reason;  // the engine's own words
};

// The engine-wide values of ConfigureEngineA and ConfigureEngineB.
struct EngineConfiguration {
    std::int32_t writeBatchUnits = 20480;
    std::int32_t unused = 5000;
    std::int32_t triesPerPiece = 10;
    std::int32_t receiveBufferUnits = 5000;
};

// The contract's outcome for an engine's.
inline DownloadOutcome outcomeOf(engine::Outcome outcome) {
    switch (outcome) {
        case engine::Outcome::completed:
            return DownloadOutcome::completed;
        case engine::Outcome::stopped:
            return DownloadOutcome::stopped;
        case engine::Outcome::failed:
            break;
    }
    return DownloadOutcome::failed;
}

class Transfers;

// What the engines tell, on their own threads: post it and nothing else. A transfer is named by
// its engine and the id that engine gave it; the words may come before start has returned to
// its caller, so they are matched to the transfer where they are posted to.
class TransferEvents {
  public:
    virtual ~TransferEvents() = default;
    virtual void sizeKnown(const Transfers& from, TransferId id, std::int64_t totalSize,
                           std::int64_t room) = 0;
    virtual void ended(const Transfers& from, TransferId id, const TransferEnd& end) = 0;
};

struct StartedTransfer {
    TransferId id = 0;
    std::shared_ptr<const std::atomic<std::int64_t>> received;  // lock-free, from any thread
};

class Transfers {
  public:
    virtual ~Transfers() = default;
    // Starts the file of the settings and returns at once.
    virtual StartedTransfer start(const TransferSettings& settings,
                                  const EngineConfiguration& configuration) = 0;
    // Ends the transfer as stopped, unless it has ended; what it fetched is removed unless
    // keepForResume.
    virtual void stop(TransferId id, bool keepForResume) = 0;
};

}  // namespace quorvane
