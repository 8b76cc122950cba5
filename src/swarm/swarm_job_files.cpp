// A swarm job's files: the hidden partial file and the resume record it starts from, the
// checkpoints, and the rename that gives a complete, checked file the target's name.

#include "swarm/swarm_job.h"

#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "engine/part_name.h"
#include "engine/resume_record.h"
#include "engine/sha256.h"
#include "swarm/swarm_leftovers.h"

namespace quorvane::swarm {
namespace {

using engine::FailureKind;
using engine::Outcome;

constexpr std::size_t kLargestRecord = 8 << 20;

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<lt::add_torrent_params> SwarmJob::prepare() {
#if !TORRENT_USE_SSL
    // libtorrent without TLS (the Windows build) cannot fetch from an https server: the file comes
    // over HTTP at once rather than after the stall time.
    for (const auto& seed : options_.webSeeds) {
        std::string scheme = seed.substr(0, 8);
        for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (scheme == "https://") {
            failWith(FailureKind::badAddress, "this build reaches no https web seed");
            return std::nullopt;
        }
    }
#endif
    lt::error_code error;
    const auto& bytes = options_.torrent;
    info_ = std::make_shared<lt::torrent_info>(
        lt::span<char const>(bytes.data(), static_cast<int>(bytes.size())), error, lt::from_span);
    if (error || info_->num_files() != 1) {
        failWith(FailureKind::badAddress, "the torrent is not usable");
        return std::nullopt;
    }
    infoHashes_ = info_->info_hashes();
    totalSize_ = info_->total_size();
    progress_->totalSize.store(totalSize_);
    tally_ = SourceTally(totalSize_, info_->piece_length());
    const auto target = options_.target;
    const auto folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    if (engine::fileNameLength(target.filename()) > engine::kLongestFileName) {
        failWith(FailureKind::fileError, "the file name is too long");
        return std::nullopt;
    }
    const auto names = engine::resumeFilesFor(target);
    part_ = names.part;
    record_ = resumeRecordFor(target);
    // The record is replaced through a fresh name each time, never through one a link could hold.
    staging_ = [folder, name = target.filename()](std::string_view tag) {
        std::string suffix = ".";
        suffix.append(tag).append(".snew");
        return folder / engine::hiddenFileName(name, suffix);
    };
    asideName_ = [folder, name = target.filename()](std::string_view tag) {
        std::string suffix = ".";
        suffix.append(tag).append(".old");
        return folder / engine::hiddenFileName(name, suffix);
    };
    engine::FileProblem whyNot;
    bool locked = false;
    // Opened without following links and locked: no other download writes it meanwhile, while
    // libtorrent's own handles write and rename it.
    file_ = engine::PartFile::openShared(part_, whyNot, locked);
    if (!file_) {
        failWith(FailureKind::fileError,
                 locked ? "another download is writing this file" : whyNot.text);
        return std::nullopt;
    }
    // What the HTTP engine recorded of this file no longer holds once peers write into it; the
    // bytes themselves are checked piece by piece and kept where they are right.
    engine::removeFile(names.record);

    lt::add_torrent_params params;
    if (auto text = engine::readSmallFile(record_, kLargestRecord)) {
        lt::error_code bad;
        auto previous = lt::read_resume_data(
            lt::span<char const>(text->data(), static_cast<int>(text->size())), bad);
        if (!bad && previous.info_hashes == infoHashes_ && file_->length() > 0) {
            params = std::move(previous);
            // Pieces only partly there are fetched whole again: libtorrent's web seeds do not
            // ask for the rest of a piece begun in an earlier session.
            params.unfinished_pieces.clear();
            for (lt::piece_index_t piece : info_->piece_range()) {
                if (piece >= params.have_pieces.end_index() || !params.have_pieces[piece]) continue;
                resumedBytes_ += info_->piece_size(piece);
                tally_.resumed(static_cast<int>(piece));
            }
        }
    }
    // The torrent's web seeds give way to the addresses the caller names.
    if (!options_.webSeeds.empty()) info_->set_web_seeds({});
    if (!peers_) info_->clear_trackers();
    params.ti = info_;
    params.trackers.clear();
    params.tracker_tiers.clear();
    params.url_seeds = options_.webSeeds;
    params.save_path = utf8Of(folder);
    params.renamed_files.clear();
    params.renamed_files[lt::file_index_t{0}] = utf8Of(part_.filename());
    // The torrent and the caller say who serves the file, never a record from an earlier run.
    params.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused |
                      lt::torrent_flags::upload_mode | lt::torrent_flags::seed_mode |
                      lt::torrent_flags::override_trackers | lt::torrent_flags::override_web_seeds);
    if (!peers_) params.flags |= lt::torrent_flags::disable_pex | lt::torrent_flags::disable_lsd;
    params.flags |= lt::torrent_flags::disable_dht;
    params.userdata = lt::client_data_t(this);
    return params;
}

std::int64_t SwarmJob::room() const {
    return file_ ? file_->room() : -1;
}

void SwarmJob::checkpoint(Clock::time_point now) {
    if (checkpointAsked_ || options_.checkpointInterval.count() <= 0 ||
        now - lastCheckpoint_ < options_.checkpointInterval) {
        return;
    }
    lastCheckpoint_ = now;
    checkpointAsked_ = true;
    handle_.save_resume_data(lt::torrent_handle::only_if_modified);
}

void SwarmJob::resumeDataReady(const lt::add_torrent_params& params) {
    checkpointAsked_ = false;
    writeRecord(params);
    if (phase_ == Phase::saving) removeFromSession(AfterRemoval::keep);
}

void SwarmJob::resumeDataFailed() {
    checkpointAsked_ = false;
    if (phase_ == Phase::saving) removeFromSession(AfterRemoval::keep);
}

// The data first, then the record that claims it: a power cut never leaves a record of pieces
// that are not on disk.
void SwarmJob::writeRecord(const lt::add_torrent_params& params) {
    if (!file_ || file_->syncData()) return;
    const std::vector<char> bytes = lt::write_resume_data_buf(params);
    engine::replaceFile(record_, staging_, std::string_view(bytes.data(), bytes.size()));
}

// Every piece passed libtorrent's check; the list's SHA-256 of the whole file, when it gives
// one, has the last word before the file takes its name. The torrent stays in the session
// meanwhile, so that the peers it serves keep their connections.
void SwarmJob::finishedDownloading() {
    if (phase_ != Phase::running) return;
    progress_->received.store(totalSize_);
    if (!wholeFileMatches()) {
        failWith(FailureKind::verificationFailed, "the file's SHA-256 is not the one expected");
        return;
    }
    if (auto problem = file_->syncData()) {
        failWith(problem->diskFull ? FailureKind::diskFull : FailureKind::fileError, problem->text);
        return;
    }
    // libtorrent's rename does not replace a file on Windows: one the target's name already
    // holds (an older download of it) steps aside until the new one has taken the name.
    engine::FileProblem whyNot;
    auto aside = engine::moveOutOfTheWay(options_.target, asideName_, whyNot);
    if (!aside) {
        failWith(FailureKind::fileError, whyNot.text);
        return;
    }
    setAside_ = *aside;
    tally_.finish(peersConnected_ > 0 ? SourceTally::Source::player : SourceTally::Source::webSeed);
    publishSources();
    phase_ = Phase::committing;
    handle_.rename_file(lt::file_index_t{0}, utf8Of(options_.target.filename()));
}

bool SwarmJob::wholeFileMatches() {
    if (options_.expectedSha256.empty()) return true;
    engine::Sha256 hash;
    std::vector<char> buffer(1 << 20);
    for (std::int64_t at = 0; at < totalSize_;) {
        const auto length =
            std::min<std::int64_t>(totalSize_ - at, static_cast<std::int64_t>(buffer.size()));
        std::span<char> piece(buffer.data(), static_cast<std::size_t>(length));
        if (file_->readAt(at, piece)) return false;
        hash.add(piece);
        at += length;
    }
    return hash.finishHex() == options_.expectedSha256;
}

void SwarmJob::renamed() {
    if (phase_ != Phase::committing) return;
    file_->markVisible();
    file_.reset();
    if (!setAside_.empty()) engine::removeFile(std::exchange(setAside_, {}));
    engine::removeFile(record_);
    end(Outcome::completed);
    if (options_.seedWhenDone && peers_) {
        phase_ = Phase::sharing;
    } else {
        removeFromSession(AfterRemoval::keep);
    }
}

void SwarmJob::renameFailed(const std::string& why) {
    if (phase_ != Phase::committing) return;
    if (!setAside_.empty()) engine::moveBack(std::exchange(setAside_, {}), options_.target);
    phase_ = Phase::running;
    failWith(FailureKind::fileError, why);
}

}  // namespace quorvane::swarm
