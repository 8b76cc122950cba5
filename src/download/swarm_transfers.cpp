#include "download/swarm_transfers.h"

#include "download/torrent_fetch.h"
#include "engine/sha256.h"
#include "platform/file_system.h"

namespace quorvane {
namespace {

swarm::PeerSettings peerSettingsOf(const PeerOptions& options) {
    swarm::PeerSettings settings;
    settings.peers = options.enabled;
    settings.uploadLimit = options.uploadLimit;
    settings.lanUnlimited = options.lanUnlimited;
    settings.localDiscovery = options.localDiscovery;
    settings.listenInterfaces = options.listenInterfaces;
    return settings;
}

}  // namespace

SwarmTransfers::SwarmTransfers(TransferEvents& events, PeerOptions options)
    : events_(events), options_(std::move(options)) {}

SwarmTransfers::~SwarmTransfers() {
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, transfer] : transfers_) transfer->cancel.store(true);
    }
    for (auto& fetch : fetches_) fetch.thread.join();
    session_.reset();
}

StartedTransfer SwarmTransfers::start(const TransferSettings& settings,
                                      const EngineConfiguration&) {
    joinFinishedFetches();
    std::lock_guard lock(mutex_);
    if (!session_) {
        session_ = std::make_unique<swarm::Session>(static_cast<swarm::Listener&>(*this),
                                                    peerSettingsOf(options_));
    }
    const TransferId id = next_++;
    auto transfer = std::make_shared<Transfer>();
    transfers_[id] = transfer;
    Fetch& fetch = fetches_.emplace_back();
    fetch.thread = std::thread([this, id, settings, done = fetch.done] {
        fetchAndStart(id, settings);
        done->store(true);
    });
    return {id, {transfer->progress, &transfer->progress->received}};
}

void SwarmTransfers::fetchAndStart(TransferId id, TransferSettings settings) {
    std::shared_ptr<Transfer> transfer;
    {
        std::lock_guard lock(mutex_);
        transfer = transfers_.at(id);
    }
    std::string problem;
    auto torrent = fetchTorrentFor(settings.sourceAddress, settings.field19,
                                   options_.torrentPatience, transfer->cancel, problem);
    std::lock_guard lock(mutex_);
    if (transfer->cancel.load() || !torrent) {
        transfers_.erase(id);
        TransferEnd end;
        end.outcome = transfer->cancel.load() ? DownloadOutcome::stopped : DownloadOutcome::failed;
        end.failure = engine::FailureKind::badAddress;
        end.reason = problem;
        events_.ended(*this, id, end);
        return;
    }
    swarm::JobOptions options;
    options.torrent = std::move(torrent->bytes);
    options.target = platform::pathFromUtf8(settings.targetPath);
    options.webSeeds = {settings.sourceAddress};  // the network line the player chose
    options.expectedSha256 = engine::normalisedSha256(settings.field16).value_or("");
    options.stallTimeout = options_.stallTimeout;
    options.seedWhenDone = options_.shareWhenDone;
    transfer->job = session_->start(std::move(options), transfer->progress).id;
    byJob_[transfer->job] = id;
}

void SwarmTransfers::stop(TransferId id, bool keepForResume) {
    std::lock_guard lock(mutex_);
    auto found = transfers_.find(id);
    if (found == transfers_.end()) return;
    Transfer& transfer = *found->second;
    if (transfer.job != 0) {
        session_->stop(transfer.job, keepForResume);
    } else {
        transfer.cancel.store(true);  // the fetch ends within a tenth of a second
    }
}

std::optional<TransferId> SwarmTransfers::transferOf(swarm::JobId job, bool forget) {
    std::lock_guard lock(mutex_);
    auto found = byJob_.find(job);
    if (found == byJob_.end()) return std::nullopt;
    const TransferId id = found->second;
    if (forget) {
        byJob_.erase(found);
        transfers_.erase(id);
    }
    return id;
}

void SwarmTransfers::onSizeKnown(swarm::JobId job, std::int64_t totalSize, std::int64_t room) {
    if (auto id = transferOf(job, false)) events_.sizeKnown(*this, *id, totalSize, room);
}

void SwarmTransfers::onJobEnded(swarm::JobId job, const swarm::JobReport& report) {
    auto id = transferOf(job, true);
    if (!id) return;
    TransferEnd end;
    end.outcome = outcomeOf(report.outcome);
    end.failure = report.failure;
    end.reason = report.reason;
    events_.ended(*this, *id, end);
}

void SwarmTransfers::joinFinishedFetches() {
    for (auto it = fetches_.begin(); it != fetches_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = fetches_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace quorvane
