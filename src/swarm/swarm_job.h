#pragma once

// One download in the session: its files beside the target (the engine's hidden partial file,
// the swarm's resume record; swarm_job_files.cpp), its torrent in libtorrent, and the checks that
// end it. Lives on the session's thread only.

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <set>

#include "engine/part_file.h"
#include "swarm/source_tally.h"
#include "swarm/swarm_options.h"

namespace quorvane::swarm {

using Clock = std::chrono::steady_clock;

class SwarmJob {
  public:
    enum class Phase {
        starting,  // not yet in the session
        running,
        saving,      // stopping for a resume: the resume data is being written
        committing,  // complete and checked, taking the target's name
        removing,    // out of the session soon; `afterRemoval` says what happens to the file then
        deleting,    // out of the session, libtorrent deleting the partial file
        sharing,     // complete, shared from its final name
        gone,
    };
    enum class AfterRemoval { keep, discard };

    // The progress is the one the job's handle gave out.
    SwarmJob(lt::session& session, JobId id, JobOptions options, bool peers,
             std::shared_ptr<JobProgress> progress);

    JobId id() const { return id_; }
    Phase phase() const { return phase_; }
    const std::shared_ptr<JobProgress>& progress() const { return progress_; }
    bool ended() const { return report_.has_value(); }
    const JobReport& report() const { return *report_; }
    // The torrent's v1 or v2 hash, to keep one torrent per hash in the session.
    const lt::info_hash_t& infoHashes() const { return infoHashes_; }

    // Opens the partial file and makes the torrent's parameters; nothing after a failure.
    std::optional<lt::add_torrent_params> prepare();
    std::int64_t totalSize() const { return totalSize_; }
    std::int64_t room() const;
    void added(const lt::torrent_handle& handle, Clock::time_point now);

    // The periodic look at the torrent: progress, stalls and the end.
    void tick(const lt::torrent_status& status, Clock::time_point now);
    // A block passed to the file; counted for the kind of source it came from.
    void blockFinished(const lt::tcp::endpoint& from, int block, lt::piece_index_t piece);
    // A piece failed libtorrent's hash check: its blocks come again.
    void pieceFailed(lt::piece_index_t piece);
    // The torrent is complete (libtorrent's own hash checks passed).
    void finishedDownloading();
    void failWith(engine::FailureKind kind, const std::string& reason);
    void stop(bool keepForResume);
    void resumeDataReady(const lt::add_torrent_params& params);
    void resumeDataFailed();
    // The file has its final name: the download is complete.
    void renamed();
    void renameFailed(const std::string& why);
    // libtorrent has let go of the torrent: the file is kept, or libtorrent deletes it.
    void removedFromSession();
    // libtorrent has deleted the partial file, or could not: then the job does.
    void filesDeleted(bool deleted);
    // Sharing ends (the session ends or the file went away).
    void stopSharing();

    const lt::torrent_handle& handle() const { return handle_; }
    // Players (not web seeds) connected at the last tick.
    int peersConnected() const { return peersConnected_; }
    // Fresh connections to the web seeds, which take the session's settings of now.
    void reconnectWebSeeds();

  private:
    void classifySenders();
    void checkpoint(Clock::time_point now);
    void writeRecord(const lt::add_torrent_params& params);
    void removeFromSession(AfterRemoval after);
    // What this job has given to other players so far, into the progress.
    void countUploads(const lt::torrent_status& status);
    void publishSources();
    bool wholeFileMatches();
    void end(engine::Outcome outcome, engine::FailureKind kind = engine::FailureKind::none,
             const std::string& reason = {});
    JobReport snapshot() const;

    lt::session& session_;
    JobId id_;
    JobOptions options_;
    bool peers_;
    std::shared_ptr<JobProgress> progress_;
    std::shared_ptr<lt::torrent_info> info_;
    lt::info_hash_t infoHashes_;
    std::int64_t totalSize_ = -1;
    std::int64_t resumedBytes_ = 0;
    std::filesystem::path part_, record_;
    engine::TaggedName staging_, asideName_;
    std::filesystem::path setAside_;  // the file that had the target's name, while renaming
    std::optional<engine::PartFile> file_;
    lt::torrent_handle handle_;
    Phase phase_ = Phase::starting;
    AfterRemoval afterRemoval_ = AfterRemoval::keep;
    std::optional<JobReport> report_;
    std::optional<JobReport> pendingReport_;  // told once the torrent has left the session

    std::int64_t lastPayload_ = -1;
    Clock::time_point lastNews_{};
    Clock::time_point lastCheckpoint_{};
    Clock::time_point lastKick_{};
    int peersConnected_ = 0;
    bool checkpointAsked_ = false;
    // Where blocks came from: the web seeds' connections and the other players'.
    std::set<lt::tcp::endpoint> webSeeds_, otherPeers_;
    SourceTally tally_;
    std::int64_t uploadedBefore_ = 0;  // by the torrent this job had in the session earlier
    std::int64_t uploadedNow_ = 0;
};

}  // namespace quorvane::swarm
