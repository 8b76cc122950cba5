#include "swarm/swarm_job.h"

#include <libtorrent/peer_info.hpp>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::swarm {
namespace {

using engine::FailureKind;
using engine::Outcome;

bool diskFull(const lt::error_code& error) {
    return error == boost::system::errc::no_space_on_device;
}

}  // namespace

SwarmJob::SwarmJob(lt::session& session, JobId id, JobOptions options, bool peers,
                   std::shared_ptr<JobProgress> progress)
    : session_(session),
      id_(id),
      options_(std::move(options)),
      peers_(peers),
      progress_(std::move(progress)) {}

void SwarmJob::added(const lt::torrent_handle& handle, Clock::time_point now) {
    handle_ = handle;
    phase_ = Phase::running;
    lastNews_ = now;
    lastCheckpoint_ = now;
    progress_->received.store(resumedBytes_);
}

void SwarmJob::countUploads(const lt::torrent_status& status) {
    uploadedNow_ = status.total_payload_upload;
    progress_->uploaded.store(uploadedBefore_ + uploadedNow_);
}

void SwarmJob::tick(const lt::torrent_status& status, Clock::time_point now) {
    countUploads(status);
    if (phase_ != Phase::running) return;
    progress_->received.store(status.total_wanted_done);
    std::vector<lt::peer_info> peers;
    handle_.get_peer_info(peers);
    peersConnected_ = static_cast<int>(std::count_if(peers.begin(), peers.end(), [](const auto& p) {
        return !(p.connection_type & (lt::peer_info::web_seed | lt::peer_info::http_seed));
    }));
    if (status.errc) {
        failWith(diskFull(status.errc) ? FailureKind::diskFull : FailureKind::fileError,
                 status.errc.message());
        return;
    }
    const bool checking = status.state == lt::torrent_status::checking_files ||
                          status.state == lt::torrent_status::checking_resume_data;
    if (checking || status.total_payload_download != lastPayload_) {
        lastPayload_ = status.total_payload_download;
        lastNews_ = now;
    }
    if (!checking && status.is_finished) {
        finishedDownloading();
        return;
    }
    // libtorrent's web seed connection can sit on requests it never sends, after a file was
    // partly there; a fresh connection asks again.
    const auto kickAfter =
        std::max<Clock::duration>(options_.stallTimeout / 4, std::chrono::seconds(1));
    if (now - lastNews_ > kickAfter && now - lastKick_ > kickAfter) {
        lastKick_ = now;
        reconnectWebSeeds();
    }
    if (now - lastNews_ > options_.stallTimeout) {
        failWith(FailureKind::network, "no peer and no web seed sent anything for " +
                                           std::to_string(options_.stallTimeout.count() / 1000) +
                                           " s");
        return;
    }
    checkpoint(now);
}

// Web seeds show up among the peers as connections of their own kind; a sender not seen yet is
// looked up once.
void SwarmJob::blockFinished(const lt::tcp::endpoint& from, int block, lt::piece_index_t piece) {
    if (!info_) return;
    if (!webSeeds_.count(from) && !otherPeers_.count(from)) classifySenders();
    tally_.block(
        static_cast<int>(piece), block,
        webSeeds_.count(from) ? SourceTally::Source::webSeed : SourceTally::Source::player);
    publishSources();
}

void SwarmJob::pieceFailed(lt::piece_index_t piece) {
    tally_.pieceFailed(static_cast<int>(piece));
    publishSources();
}

void SwarmJob::publishSources() {
    progress_->fromPeers.store(tally_.fromPlayers());
    progress_->fromWebSeeds.store(tally_.fromWebSeeds());
}

void SwarmJob::reconnectWebSeeds() {
    if (!handle_.is_valid()) return;
    for (const auto& seed : handle_.url_seeds()) {
        handle_.remove_url_seed(seed);
        handle_.add_url_seed(seed);
    }
}

void SwarmJob::classifySenders() {
    if (!handle_.is_valid()) return;
    std::vector<lt::peer_info> peers;
    handle_.get_peer_info(peers);
    for (const auto& peer : peers) {
        const bool webSeed = static_cast<bool>(
            peer.connection_type & (lt::peer_info::web_seed | lt::peer_info::http_seed));
        (webSeed ? webSeeds_ : otherPeers_).insert(peer.ip);
    }
}

void SwarmJob::failWith(FailureKind kind, const std::string& reason) {
    if (report_ || pendingReport_) return;
    JobReport report = snapshot();
    report.outcome = Outcome::failed;
    report.failure = kind;
    report.reason = reason;
    pendingReport_ = report;
    if (!handle_.is_valid() || phase_ == Phase::starting) {
        // Never got into the session: the file is let go as it is.
        if (file_ && file_->length() == 0) file_->discard();
        file_.reset();
        phase_ = Phase::gone;
        report_ = pendingReport_;
        return;
    }
    // What arrived stays for a resume, except after a check that condemns the whole file.
    if (kind == FailureKind::verificationFailed) {
        removeFromSession(AfterRemoval::discard);
    } else {
        phase_ = Phase::saving;
        handle_.save_resume_data(lt::torrent_handle::flush_disk_cache);
    }
}

void SwarmJob::stop(bool keepForResume) {
    if (phase_ == Phase::sharing) {
        stopSharing();
        return;
    }
    if (report_ || pendingReport_) return;
    JobReport report = snapshot();
    report.outcome = Outcome::stopped;
    pendingReport_ = report;
    if (phase_ == Phase::starting) {
        phase_ = Phase::gone;
        report_ = pendingReport_;
        return;
    }
    if (phase_ != Phase::running) return;
    if (keepForResume) {
        phase_ = Phase::saving;
        handle_.save_resume_data(lt::torrent_handle::flush_disk_cache);
    } else {
        removeFromSession(AfterRemoval::discard);
    }
}

void SwarmJob::removeFromSession(AfterRemoval after) {
    countUploads(handle_.status());  // the last tick's figure can miss the last blocks sent
    afterRemoval_ = after;
    phase_ = Phase::removing;
    // A partial file to discard is deleted by libtorrent, once its own handles and views of it
    // are closed: Windows deletes no file that is mapped.
    if (after == AfterRemoval::discard) {
        session_.remove_torrent(handle_, lt::session::delete_files);
    } else {
        session_.remove_torrent(handle_);
    }
}

void SwarmJob::removedFromSession() {
    handle_ = {};
    uploadedBefore_ += uploadedNow_;
    uploadedNow_ = 0;
    if (afterRemoval_ == AfterRemoval::discard) {
        phase_ = Phase::deleting;
        return;
    }
    file_.reset();
    phase_ = Phase::gone;
    if (!report_) report_ = pendingReport_;
    pendingReport_.reset();
}

void SwarmJob::filesDeleted(bool deleted) {
    if (phase_ != Phase::deleting) return;
    // Once libtorrent has deleted it, the name may be another job's already: only closed.
    if (file_ && !deleted) file_->discard();
    file_.reset();
    engine::removeFile(record_);
    phase_ = Phase::gone;
    if (!report_) report_ = pendingReport_;
    pendingReport_.reset();
}

void SwarmJob::stopSharing() {
    if (phase_ != Phase::sharing) return;
    countUploads(handle_.status());
    afterRemoval_ = AfterRemoval::keep;
    phase_ = Phase::removing;
    session_.remove_torrent(handle_);
}

void SwarmJob::end(Outcome outcome, FailureKind kind, const std::string& reason) {
    JobReport report =
        pendingReport_ && outcome != Outcome::completed ? *pendingReport_ : snapshot();
    report.outcome = outcome;
    report.failure = kind;
    report.reason = reason;
    if (outcome == Outcome::completed) report.bytes = totalSize_;
    report_ = report;
    pendingReport_.reset();
}

JobReport SwarmJob::snapshot() const {
    JobReport report;
    report.totalSize = totalSize_;
    report.bytes = progress_->received.load();
    report.resumedBytes = resumedBytes_;
    report.fromPeers = progress_->fromPeers.load();
    report.fromWebSeeds = progress_->fromWebSeeds.load();
    report.uploaded = progress_->uploaded.load();
    return report;
}

}  // namespace quorvane::swarm
