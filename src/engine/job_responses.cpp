#include "engine/job.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "engine/failure.h"

namespace quorvane::engine {
namespace {

// Tries from the first byte that may end no further than an earlier one before the job fails.
constexpr int kMostRestartsNoFurther = 2;

std::chrono::milliseconds pauseAfter(int failures, const Tuning& tuning) {
    auto pause = tuning.firstRetryPause;
    for (int i = 1; i < failures && pause < tuning.longestRetryPause; ++i) pause *= 2;
    return std::min(pause, tuning.longestRetryPause);
}

}  // namespace

// ---- receiving ----------------------------------------------------------------------------

std::size_t Job::receive(Transfer& transfer, const char* data, std::size_t length) {
    answered_ = true;
    if (dropsAnswers()) {
        transfer.cutShort(Transfer::Cut::refused);
        return 0;
    }
    // libcurl hands the FTP probe's header lines to this callback as well.
    if (transfer.headersOnly()) return length;
    if (!transfer.checked() && !checkBeforeFirstByte(transfer)) {
        transfer.cutShort(Transfer::Cut::refused);
        return 0;
    }
    auto room = static_cast<std::uint64_t>(transfer.requestEnd() - transfer.offset());
    std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(length, room));
    if (taken > 0 && !store(transfer, data, taken)) {
        transfer.cutShort(Transfer::Cut::refused);
        return 0;
    }
    // More than was asked for: the rest belongs to another connection now.
    if (taken < length) transfer.cutShort(Transfer::Cut::trimmed);
    return taken;
}

bool Job::checkBeforeFirstByte(Transfer& transfer) {
    transfer.markChecked();
    if (isFtp(transfer)) return true;
    switch (checkResponse(transfer.head(), transfer.asked(), identity_)) {
        case Verdict::accept:
            if (phase_ == Phase::probing) return acceptProbe(transfer, transfer.asked().ranged);
            return identity_ ? true : acceptProbe(transfer, false);
        case Verdict::ignoresRanges:
            if (phase_ == Phase::probing) return acceptProbe(transfer, false);
            enter(Phase::restarting);
            return false;
        case Verdict::mismatch:
            if (phase_ == Phase::single) {
                fail(FailureKind::serverInconsistent,
                     "the server's answer does not match the request");
            } else {
                enter(Phase::restarting);
            }
            return false;
        case Verdict::changed:
            fail(FailureKind::changedOnServer,
                 "the file changed on the server during the download");
            return false;
        case Verdict::malformed:
            fail(FailureKind::serverError, "the server sent a malformed response head");
            return false;
    }
    return false;
}

// The first response decides how the file is fetched: in pieces when the server honours ranges
// and tells the size, otherwise as one stream over this connection.
bool Job::acceptProbe(Transfer& transfer, bool ranged) {
    identity_ = identityOf(transfer.head());
    if (ranged) {
        adoptOrDropPreviousRecord();
        startSegments(transfer, identity_->size);
        return phase_ != Phase::ended;
    }
    // The whole file from its first byte: nothing earlier can be kept.
    startOver();
    enter(Phase::single);
    learnSize(identity_->size);
    transfer.assignWholeFile(size_);
    return phase_ != Phase::ended;
}

void Job::startSegments(Transfer& first, std::int64_t size) {
    enter(Phase::segmented);
    learnSize(size);
    if (phase_ == Phase::ended) return;
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
    for (const auto& gap : written_.missing(size)) gaps.emplace_back(gap.begin, gap.end);
    // A file that is checked fills from its start, so that the hash can follow close behind.
    const std::int64_t largest = expectedSha256_ ? size / (8 * options_.connections) : 0;
    auto pieces = piecesForGaps(gaps, options_.connections, options_.tuning.minPieceSize, largest);
    // The first request already asks for a stretch; its piece covers at least that, and what lies
    // before it in that piece goes back to be shared out.
    const std::int64_t askedEnd = std::min(first.requestEnd(), size);
    std::int64_t shareEnd = askedEnd;
    for (const auto& piece : pieces) {
        if (piece.begin <= first.offset() && first.offset() < piece.end) {
            shareEnd = std::max(piece.end, askedEnd);
        }
    }
    first.reshape(askedEnd, shareEnd);
    freePieces_.clear();
    for (const auto& piece : pieces) {
        if (piece.begin < first.offset()) {
            freePieces_.push_back({piece.begin, std::min(piece.end, first.offset()), 0});
        }
        if (piece.end > shareEnd) {
            freePieces_.push_back({std::max(piece.begin, shareEnd), piece.end, 0});
        }
    }
}

void Job::learnSize(std::int64_t size) {
    size_ = size;
    progress_->totalSize.store(size, std::memory_order_relaxed);
    if (size < 0 || sizeReported_) return;
    sizeReported_ = true;
    // Measured before the reservation below takes the space, so that the two cannot be confused.
    const std::int64_t room = file_->room();
    listener_.onSizeKnown(id_, size, room);
    if (room >= 0 && room < size) {
        return fail(FailureKind::diskFull, "the disk is full: " + std::to_string(room) +
                                               " bytes free, " + std::to_string(size) + " needed");
    }
    if (auto problem = file_->reserve(size)) failOnFile(*problem);
}

bool Job::isFtp(Transfer& transfer) const {
    const char* scheme = nullptr;
    curl_easy_getinfo(transfer.easy(), CURLINFO_SCHEME, &scheme);
    return scheme != nullptr &&
           (std::strcmp(scheme, "FTP") == 0 || std::strcmp(scheme, "ftp") == 0);
}

// ---- after a request -----------------------------------------------------------------------

void Job::onRequestDone(Transfer& transfer, CURLcode code, Clock::time_point now) {
    const bool opening = transfer.state() == Transfer::State::opening;
    removeRequest(transfer);
    if (opening) return;  // its connection waits in the pool, whatever the answer
    answered_ = answered_ || transfer.headBytes() > 0;
    if (dropsAnswers()) return;
    if (transfer.headTooLarge()) {
        return fail(FailureKind::serverError, "the server sent more than " +
                                                  std::to_string(kLongestResponseHead / 1024) +
                                                  " KiB of response head");
    }
    if (!flush(transfer)) return;
    bool trimmed = code == CURLE_WRITE_ERROR && transfer.cut() == Transfer::Cut::trimmed;
    if (code == CURLE_OK || trimmed) return handleSuccess(transfer, now);
    if (transfer.cut() == Transfer::Cut::refused) return;  // the job's state says why
    handleFailure(transfer, code, now);
}

void Job::handleSuccess(Transfer& transfer, Clock::time_point now) {
    if (!transfer.checked() && !transfer.headersOnly() && !checkBeforeFirstByte(transfer)) return;
    if (transfer.headersOnly()) {
        // The FTP probe: SIZE told the length, or nothing.
        curl_off_t length = -1;
        curl_off_t time = -1;
        curl_easy_getinfo(transfer.easy(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        curl_easy_getinfo(transfer.easy(), CURLINFO_FILETIME_T, &time);
        curl_easy_setopt(transfer.easy(), CURLOPT_FILETIME, 0L);  // the pieces need no MDTM
        identity_ = FileIdentity{length, "", time >= 0 ? "mdtm " + std::to_string(time) : ""};
        transfer.assign(0, 0, transfer.failures());
        if (length >= 0) {
            adoptOrDropPreviousRecord();
            return startSegments(transfer, length);
        }
        startOver();
        enter(Phase::single);
        transfer.assign(0, kUnbounded, transfer.failures());
        return;
    }
    if (transfer.requestEnd() == kUnbounded) {
        // A stream of unknown length ends where the server ends it. Too late to be news.
        size_ = transfer.offset();
        progress_->totalSize.store(size_, std::memory_order_relaxed);
        transfer.shortenTo(transfer.offset());
    }
    if (transfer.offset() < transfer.requestEnd()) {
        return retryLater(transfer, {true, "the server sent less than it announced"}, now);
    }
    transfer.recordFinishedRequest(now);
}

void Job::handleFailure(Transfer& transfer, CURLcode code, Clock::time_point now) {
    long status = 0;
    curl_easy_getinfo(transfer.easy(), CURLINFO_RESPONSE_CODE, &status);
    if (phase_ == Phase::probing && status == 416 && probeStart_ > 0) {
        // The file no longer reaches where the record says it stopped: start over.
        startOver();
        probeStart_ = 0;
        probeEnd_ = kUnbounded;
        return;
    }
    if (phase_ == Phase::probing && status == 416) {
        // An empty file has no byte ranges: ask for it whole.
        enter(Phase::single);
        transfer.assign(0, kUnbounded, transfer.failures());
        return;
    }
    Failure failure = classifyFailure(code, status, transfer.errorDetail());
    if (!failure.transient) return fail(failure.kind, failure.reason);
    retryLater(transfer, failure, now);
}

void Job::retryLater(Transfer& transfer, const Failure& failure, Clock::time_point now) {
    if (transfer.countFailure() >= options_.tuning.triesPerPiece) {
        return fail(failure.kind, failure.reason + " (gave up after " +
                                      std::to_string(transfer.failures()) + " tries)");
    }
    if (restartGotNoFurther(transfer)) {
        return fail(failure.kind, failure.reason + " (gave up after " +
                                      std::to_string(transfer.failures()) +
                                      " tries from the first byte: none got further than " +
                                      std::to_string(furthestFromStart_) + " bytes)");
    }
    const auto pause = pauseAfter(transfer.failures(), options_.tuning);
    if (outOfPatienceForAnAnswer(pause, now)) {
        return fail(failure.kind, failure.reason + " (no answer from the server after " +
                                      std::to_string(transfer.failures()) + " tries)");
    }
    ++retries_;
    if (phase_ == Phase::segmented && transfer.hasWork()) {
        // Give the rest back, so that any connection can take it, split or whole.
        freePieces_.push_back(transfer.giveBackRest());
    }
    transfer.pauseUntil(now + pause);
}

// Over one stream every try starts again from the first byte: one that ends no further than an
// earlier one is no progress, and a server that cuts every answer at the same place never gets
// to the end, so a few such tries are enough. Tries that got no byte are left to the tries.
bool Job::restartGotNoFurther(const Transfer& transfer) {
    if (phase_ != Phase::single || transfer.offset() == 0) return false;
    if (transfer.offset() > furthestFromStart_) {
        furthestFromStart_ = transfer.offset();
        restartsNoFurther_ = 0;
        return false;
    }
    return ++restartsNoFurther_ >= kMostRestartsNoFurther;
}

// Until the server has answered once, the tries share one deadline; afterwards a fault is taken
// for a passing one and gets the full number of tries.
bool Job::outOfPatienceForAnAnswer(std::chrono::milliseconds pause, Clock::time_point now) const {
    return !answered_ && now + pause >= began_ + options_.tuning.firstAnswerPatience;
}

}  // namespace quorvane::engine
