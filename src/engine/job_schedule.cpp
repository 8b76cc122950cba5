#include "engine/job.h"

#include <curl/curl.h>

#include <algorithm>

#include "engine/leftovers.h"

namespace quorvane::engine {
namespace {

// How long the first connection is watched alone, and how soon the rest must arrive over it for
// more connections not to be worth their set-up.
constexpr std::chrono::milliseconds kTrialPeriod{50};
constexpr std::chrono::milliseconds kQuickEnough{100};

// A connection's speed is trusted for moving its work once measured this long, and slow ones are
// looked for this often.
constexpr std::chrono::milliseconds kSpeedSettles{1500};
constexpr std::chrono::milliseconds kReliefInterval{500};
// A request just begun looks slower than it is (its first answer is in its time): it is not cut
// for an idle connection before this.
constexpr std::chrono::milliseconds kSpeedSettlesForTakeover{500};

}  // namespace

void Job::schedule(Clock::time_point now) {
    if (phase_ == Phase::restarting) restartOverOneConnection(now);
    if (phase_ == Phase::ended) return;
    if (now - lastCheckpoint_ >= options_.tuning.checkpointInterval) checkpointNow(now);
    if (worthOpeningOthers(now)) openOtherConnections(now);
    for (auto& transfer : transfers_) transfer->wakeIfDue(now);
    if (phase_ == Phase::segmented) {
        relieveSlowTransfers(now);
        addTransfersForFreePieces(now);
    }
    for (auto& transfer : transfers_) {
        if (phase_ == Phase::ended) return;
        if (transfer->state() != Transfer::State::idle) continue;
        bool hasWork = transfer->hasWork();
        if (phase_ == Phase::segmented && !hasWork) hasWork = findWork(*transfer, now);
        if (hasWork) issueRequest(*transfer, now);
    }
    completeIfDone();
}

bool Job::mayOpenOthers() const {
    if (phase_ != Phase::probing || ftp_ || othersOpened_ || options_.connections < 2) return false;
    // A probe that failed, or whose answer has begun, is not waited for.
    const Transfer& probe = *transfers_.front();
    return !answered_ && probe.state() == Transfer::State::running && probe.headBytes() == 0;
}

bool Job::worthOpeningOthers(Clock::time_point now) const {
    // In milliseconds: the largest wait would not fit the clock's own unit.
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - began_);
    return mayOpenOthers() && waited >= options_.tuning.openOthersAfter;
}

// The connections open while the first answer is on its way; each request's answer is dropped,
// its connection kept for the shares.
void Job::openOtherConnections(Clock::time_point now) {
    othersOpened_ = true;
    while (transfers_.size() < static_cast<std::size_t>(options_.connections)) {
        transfers_.push_back(std::make_unique<Transfer>(*this, options_, ftp_));
        Transfer& other = *transfers_.back();
        other.prepareOpening(connectTimeout(now), now);
        curl_multi_add_handle(multi_, other.easy());
    }
}

void Job::addTransfersForFreePieces(Clock::time_point now) {
    if (freePieces_.empty() || !worthMoreConnections(now)) return;
    std::size_t idle = std::count_if(transfers_.begin(), transfers_.end(), [](const auto& t) {
        return t->state() == Transfer::State::idle;
    });
    while (freePieces_.size() > idle &&
           transfers_.size() < static_cast<std::size_t>(options_.connections)) {
        transfers_.push_back(std::make_unique<Transfer>(*this, options_, ftp_));
        ++idle;
    }
}

// A file that one connection fetches in a blink is not worth more connections: watch the first
// one briefly, then spread out unless the rest would arrive almost at once.
bool Job::worthMoreConnections(Clock::time_point now) {
    if (spreading_ || transfers_.size() > 1) return true;
    if (now - segmentsStart_ < kTrialPeriod) return false;
    double rate = transfers_.front()->bytesPerSecond(now);
    auto left = static_cast<double>(size_ - progress_->received.load(std::memory_order_relaxed));
    spreading_ = rate <= 0 || left / rate > kQuickEnough.count() / 1000.0;
    return spreading_;
}

// What the running transfers other than `except` are fetching, with the speed of those measured
// for at least `settled`.
std::vector<Claim> Job::claimsOfOthers(const Transfer* except, Clock::time_point now,
                                       std::chrono::milliseconds settled,
                                       std::vector<Transfer*>* owners) const {
    std::vector<Claim> claims;
    for (const auto& other : transfers_) {
        if (other->state() != Transfer::State::running || other.get() == except) continue;
        const bool measured = other->measuredSeconds(now) >= settled.count() / 1000.0;
        claims.push_back({other->offset(), other->requestEnd(), other->end(),
                          measured ? other->bytesPerSecond(now) : 0});
        if (owners) owners->push_back(other.get());
    }
    return claims;
}

std::int64_t Job::freeBytes() const {
    std::int64_t total = 0;
    for (const auto& piece : freePieces_) total += piece.end - piece.begin;
    return total;
}

// A connection on a slow path would keep the whole job waiting: what it would not finish by the
// time the others are done goes back to be shared out, and the request it has under way ends
// where its share now ends.
void Job::relieveSlowTransfers(Clock::time_point now) {
    if (now - lastRelief_ < kReliefInterval) return;
    lastRelief_ = now;
    std::vector<Transfer*> owners;
    auto claims = claimsOfOthers(nullptr, now, kSpeedSettles, &owners);
    const auto reliefs = planRelief(claims, freeBytes(), options_.tuning.minPieceSize,
                                    options_.tuning.takeoverPatience);
    for (const Relief& relief : reliefs) {
        Transfer& slow = *owners[relief.from];
        freePieces_.push_back({relief.begin, slow.end(), 0});
        slow.shortenTo(relief.begin);
    }
}

bool Job::findWork(Transfer& transfer, Clock::time_point now) {
    const double ownRate = transfer.bytesPerSecond(now);
    if (!freePieces_.empty()) {
        auto lowest =
            std::min_element(freePieces_.begin(), freePieces_.end(),
                             [](const Piece& a, const Piece& b) { return a.begin < b.begin; });
        // Only as much as this connection fetches while the others finish, so that a large free
        // piece is shared out rather than left to whoever asks first.
        const std::int64_t length = lowest->end - lowest->begin;
        const std::int64_t taken =
            shareOfFreePiece(length, claimsOfOthers(&transfer, now, kSpeedSettles),
                             freeBytes() - length, ownRate, options_.tuning.minPieceSize);
        transfer.assign(lowest->begin, lowest->begin + taken, lowest->failures);
        if (taken < length) {
            lowest->begin += taken;
        } else {
            freePieces_.erase(lowest);
        }
        return true;
    }
    std::vector<Transfer*> owners;
    auto claims = claimsOfOthers(&transfer, now, kSpeedSettlesForTakeover, &owners);
    auto takeover = planTakeover(claims, options_.tuning.minPieceSize,
                                 options_.tuning.takeoverPatience, ownRate);
    if (!takeover) return false;
    Transfer& victim = *owners[takeover->from];
    // An unrequested rest begins past the request under way, which then goes on as it is.
    victim.shortenTo(takeover->begin);
    transfer.assign(takeover->begin, takeover->end);
    return true;
}

void Job::issueRequest(Transfer& transfer, Clock::time_point now) {
    const Tuning& tuning = options_.tuning;
    RequestedRange asked;
    bool headersOnly = false;
    if (phase_ == Phase::segmented) {
        auto length = nextRequestLength(transfer.offset(), transfer.end(), tuning.largestRequest,
                                        tuning.minPieceSize, transfer.bytesPerSecond(now),
                                        transfer.answerSeconds());
        transfer.askUpTo(transfer.offset() + length);
        asked = {true, transfer.offset(), transfer.requestEnd() - 1};
    } else if (phase_ == Phase::probing) {
        headersOnly = ftp_;
        transfer.assign(headersOnly ? 0 : probeStart_, kUnbounded, transfer.failures());
        transfer.askUpTo(headersOnly ? 0
                                     : std::min(probeStart_ + 4 * tuning.minPieceSize, probeEnd_));
        if (!headersOnly) asked = {true, transfer.offset(), transfer.requestEnd() - 1};
    } else {
        // One stream from the start; bytes from an earlier try are received again.
        progress_->received.fetch_sub(transfer.offset(), std::memory_order_relaxed);
        transfer.assignWholeFile(size_);
    }
    transfer.prepare(asked, headersOnly, connectTimeout(now), now);
    curl_multi_add_handle(multi_, transfer.easy());
}

// Until the server has answered, no connection outlasts the first answer's patience.
std::chrono::milliseconds Job::connectTimeout(Clock::time_point now) const {
    const Tuning& tuning = options_.tuning;
    if (answered_) return tuning.connectTimeout;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        began_ + tuning.firstAnswerPatience - now);
    return std::min(std::max(left, std::chrono::milliseconds(1)), tuning.connectTimeout);
}

void Job::completeIfDone() {
    if (phase_ == Phase::probing || !freePieces_.empty()) return;
    for (const auto& transfer : transfers_) {
        if (transfer->state() == Transfer::State::running || transfer->hasWork()) return;
    }
    if (auto problem = file_->truncate(size_)) return failOnFile(*problem);
    if (!verify()) return;
    worker_.reset();  // a checkpoint under way ends before the file goes
    if (ownsName_) removeStagingLeftovers(options_.target);
    if (auto problem = file_->commit(options_.target, options_.tuning.flushBeforeRename))
        return failOnFile(*problem);
    file_.reset();
    if (ownsName_) removeFile(names_.record);
    finish(Outcome::completed, "");
}

void Job::restartOverOneConnection(Clock::time_point now) {
    for (auto& transfer : transfers_) removeRequest(*transfer);
    transfers_.resize(1);
    freePieces_.clear();
    Transfer& only = *transfers_.front();
    only.batchDone();  // its bytes go with the rest
    only.assign(0, 0);
    progress_->received.store(0, std::memory_order_relaxed);
    enter(Phase::single);
    // The hash and the record start again with the file.
    worker_ = std::make_unique<FileWorker>(*file_, names_, expectedSha256_.has_value());
    startOver();
    if (phase_ == Phase::ended) return;
    issueRequest(only, now);
}

std::optional<Clock::time_point> Job::nextWake() const {
    std::optional<Clock::time_point> earliest;
    if (phase_ == Phase::segmented && !spreading_ && Clock::now() < segmentsStart_ + kTrialPeriod) {
        earliest = segmentsStart_ + kTrialPeriod;  // time to decide on more connections
    }
    const auto openOthersAfter = options_.tuning.openOthersAfter;
    if (mayOpenOthers() && openOthersAfter != std::chrono::milliseconds::max()) {
        earliest = began_ + openOthersAfter;
    }
    for (const auto& transfer : transfers_) {
        if (transfer->state() != Transfer::State::pausing) continue;
        if (!earliest || transfer->resumeAt() < *earliest) earliest = transfer->resumeAt();
    }
    return earliest;
}

}  // namespace quorvane::engine
