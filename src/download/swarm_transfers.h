#pragma once

// Transfers with the help of other players: the entry's .torrent is fetched on a thread of its
// own, checked, and handed to the swarm with the entry's address as its web seed.

#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "download/peer_settings.h"
#include "download/transfers.h"
#include "swarm/session.h"

namespace quorvane {

class SwarmTransfers final : public Transfers, private swarm::Listener {
  public:
    SwarmTransfers(TransferEvents& events, PeerOptions options);
    // Cuts short the fetches under way, interrupts what runs (it is kept for a resume), stops
    // sharing and joins every thread.
    ~SwarmTransfers() override;

    // settings.field19 holds the torrent's address.
    StartedTransfer start(const TransferSettings& settings,
                          const EngineConfiguration& configuration) override;
    void stop(TransferId id, bool keepForResume) override;

  private:
    struct Transfer {
        std::shared_ptr<swarm::JobProgress> progress = std::make_shared<swarm::JobProgress>();
        std::atomic<bool> cancel{false};
        bool keepForResume = false;
        swarm::JobId job = 0;  // 0 while the torrent is fetched
    };
    struct Fetch {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    };

    void fetchAndStart(TransferId id, TransferSettings settings);
    void onSizeKnown(swarm::JobId job, std::int64_t totalSize, std::int64_t room) override;
    void onJobEnded(swarm::JobId job, const swarm::JobReport& report) override;
    std::optional<TransferId> transferOf(swarm::JobId job, bool forget);
    void joinFinishedFetches();

    TransferEvents& events_;
    const PeerOptions options_;
    std::mutex mutex_;
    TransferId next_ = 1;
    std::unordered_map<TransferId, std::shared_ptr<Transfer>> transfers_;
    std::unordered_map<swarm::JobId, TransferId> byJob_;
    std::list<Fetch> fetches_;
    std::unique_ptr<swarm::Session> session_;  // made at the first start
};

}  // namespace quorvane
