#include "engine/job.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "engine/failure.h"
#include "engine/leftovers.h"
#include "engine/part_name.h"
#include "engine/sha256.h"

namespace quorvane::engine {
namespace {

std::optional<std::string> schemeOf(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
    char* scheme = nullptr;
    // Any scheme is parsed, also one this libcurl was built without, so that it can be named.
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
            CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    std::string text(scheme);
    curl_free(scheme);
    return text;
}

// How long the first connection is watched alone, and how soon the rest must arrive over it for
// more connections not to be worth their set-up.
constexpr std::chrono::milliseconds kTrialPeriod{50};
constexpr std::chrono::milliseconds kQuickEnough{100};

// Tries from the first byte that may end no further than an earlier one before the job fails.
constexpr int kMostRestartsNoFurther = 2;
// A connection's speed is trusted for moving its work once measured this long, and slow ones are
// looked for this often.
constexpr std::chrono::milliseconds kSpeedSettles{1500};
constexpr std::chrono::milliseconds kReliefInterval{500};
// A request just begun looks slower than it is (its first answer is in its time): it is not cut
// for an idle connection before this.
constexpr std::chrono::milliseconds kSpeedSettlesForTakeover{500};

std::chrono::milliseconds pauseAfter(int failures, const Tuning& tuning) {
    auto pause = tuning.firstRetryPause;
    for (int i = 1; i < failures && pause < tuning.longestRetryPause; ++i) pause *= 2;
    return std::min(pause, tuning.longestRetryPause);
}

}  // namespace

Job::Job(JobId id, JobOptions options, std::shared_ptr<JobProgress> progress, CURLM* multi,
         Listener& listener)
    : id_(id),
      options_(std::move(options)),
      progress_(std::move(progress)),
      multi_(multi),
      listener_(listener) {
    options_.connections = std::clamp(options_.connections, 1, kMaxConnections);
    if (!options_.expectedSha256.empty()) {
        // A malformed value would fail every download: the caller checks it, so it cannot be.
        expectedSha256_ = normalisedSha256(options_.expectedSha256);
    }
}

Job::~Job() {
    release();
}

void Job::begin(Clock::time_point now) {
    began_ = now;
    auto scheme = schemeOf(options_.url);
    if (!scheme) return fail(FailureKind::badAddress, "the address is not valid");
    if (*scheme != "http" && *scheme != "https" && *scheme != "ftp") {
        return fail(FailureKind::badAddress, "the scheme " + *scheme + " is not supported");
    }
    ftp_ = *scheme == "ftp";
    if (options_.target.filename().empty()) {
        return fail(FailureKind::badAddress, "the target has no file name");
    }
    if (auto length = fileNameLength(options_.target.filename()); length > kLongestFileName) {
        return fail(FailureKind::fileError,
                    "the file name is too long for the file system: " + std::to_string(length) +
                        " " + kFileNameUnits + " where at most " +
                        std::to_string(kLongestFileName) + " fit");
    }
    if (!options_.expectedSha256.empty() && !expectedSha256_) {
        return fail(FailureKind::badAddress, "the expected SHA-256 is not 64 hex digits");
    }
    names_ = resumeFilesFor(options_.target);
    std::string whyNot;
    bool locked = false;
    file_ = PartFile::open(names_.part, whyNot, locked);
    // Another job writes this target: this one gets a file of its own and keeps no record.
    if (!file_ && locked) {
        ownsName_ = false;
        file_ = PartFile::createUnique(options_.target, whyNot);
    }
    if (!file_) return failOnFile(whyNot);
    resumable_ = ownsName_ && options_.tuning.checkpointInterval.count() > 0;
    readPreviousRecord();
    worker_ = std::make_unique<FileWorker>(*file_, names_, expectedSha256_.has_value());
    lastCheckpoint_ = now;
    transfers_.push_back(std::make_unique<Transfer>(*this, options_, ftp_));
    // The FTP probe asks for the file's time too (MDTM): the version a resume relies on.
    if (ftp_) curl_easy_setopt(transfers_.front()->easy(), CURLOPT_FILETIME, 1L);
    issueRequest(*transfers_.front(), now);
}

void Job::stop() {
    finish(Outcome::stopped, "");
}

void Job::interrupt() {
    if (!report_) interrupted_ = true;
    finish(Outcome::stopped, "");
}

// ---- resuming ------------------------------------------------------------------------------

// A record is trusted only when it is whole, names this source and a version of the file, and
// claims no byte beyond the end of the file on disk; otherwise the old bytes are worth nothing.
void Job::readPreviousRecord() {
    auto text = readSmallFile(names_.record, kLargestRecord);
    auto record = text ? parseRecord(*text) : std::nullopt;
    const std::int64_t onDisk = file_->length();
    if (resumable_ && record && record->url == options_.url && record->size >= 0 &&
        namesAVersion({record->size, record->etag, record->lastModified}) &&
        !record->done.empty() && record->done.ranges().back().end <= onDisk) {
        auto gaps = record->done.missing(record->size);
        // The first request asks for the first missing bytes, and none that are already there.
        probeStart_ = gaps.empty() ? std::max<std::int64_t>(0, record->size - 1) : gaps[0].begin;
        probeEnd_ = gaps.empty() ? record->size : gaps[0].end;
        previous_ = std::move(record);
        return;
    }
    startOver();
}

// Called once the first response has been checked: the same file as before (same size and the
// same validators, which name a version) keeps its bytes, anything else starts from nothing.
void Job::adoptOrDropPreviousRecord() {
    if (!previous_) return;
    const ResumeRecord& old = *previous_;
    bool same = identity_ && namesAVersion(*identity_) && identity_->size == old.size &&
                identity_->etag == old.etag && identity_->lastModified == old.lastModified;
    if (same) {
        written_ = old.done;
        resumedBytes_ = written_.total();
        checkpointedBytes_ = resumedBytes_;
        progress_->received.fetch_add(resumedBytes_, std::memory_order_relaxed);
        worker_->hashUpTo(written_.prefixEnd());
    } else {
        startOver();
    }
    previous_.reset();
}

void Job::startOver() {
    previous_.reset();
    written_.clear();
    if (ownsName_) removeFile(names_.record);
    if (auto problem = file_->truncate(0)) failOnFile(*problem);
}

void Job::noteWritten(std::int64_t begin, std::int64_t end, std::vector<char>* bytes) {
    const bool inOrder = begin == written_.prefixEnd();
    written_.add(begin, end);
    if (!worker_) return;
    // Bytes that arrive in order are hashed as they are; the rest is read back when the hash
    // gets there. Handed over before the hash may go past them.
    if (bytes && inOrder) worker_->hashFromMemory(begin, *bytes);
    worker_->hashUpTo(written_.prefixEnd());
}

ResumeRecord Job::currentRecord() const {
    ResumeRecord record;
    record.url = options_.url;
    record.size = size_;
    if (identity_) {
        record.etag = identity_->etag;
        record.lastModified = identity_->lastModified;
    }
    record.done = written_;
    return record;
}

// Only a file fetched in ranges of known size can be resumed, and only when the server names its
// version: otherwise a later job could not tell whether the bytes on the server changed.
bool Job::recordable() const {
    return resumable_ && mode_ == Mode::segmented && size_ >= 0 && identity_ &&
           namesAVersion(*identity_);
}

void Job::checkpointNow(Clock::time_point now) {
    lastCheckpoint_ = now;
    if (!recordable() || !worker_) return;
    // What waits in the connections' batches is written first, so that the record claims all that
    // has arrived: on a slow line a batch takes many seconds to fill.
    for (auto& transfer : transfers_) {
        if (!flush(*transfer)) return;
    }
    if (written_.total() == checkpointedBytes_) return;
    checkpointedBytes_ = written_.total();
    worker_->checkpoint(currentRecord());
}

bool Job::worthKeeping() const {
    if (interrupted_) return true;
    if (report_->outcome != Outcome::failed) return false;
    switch (report_->failure) {
        case FailureKind::diskFull:            // the space is what the user needs back
        case FailureKind::changedOnServer:     // the bytes are of another version
        case FailureKind::verificationFailed:  // the bytes are wrong
        case FailureKind::badAddress:
        case FailureKind::fileError:
            return false;
        default:
            return true;
    }
}

bool Job::verify() {
    if (!expectedSha256_) return true;
    auto digest = worker_->finishHash(size_);
    if (!digest) {
        failOnFile("cannot read the file back to check it");
        return false;
    }
    if (*digest == *expectedSha256_) return true;
    fail(FailureKind::verificationFailed, "the file from " + options_.url + " has the SHA-256 " +
                                              *digest + ", not " + *expectedSha256_);
    return false;
}

void Job::finish(Outcome outcome, std::string reason) {
    if (report_) return;  // the first end wins
    JobReport report;
    report.outcome = outcome;
    report.reason = std::move(reason);
    report.bytes = progress_->received.load(std::memory_order_relaxed);
    report.totalSize = size_;
    report.retries = retries_;
    report_ = std::move(report);
}

void Job::fail(FailureKind kind, std::string reason) {
    if (report_) return;
    finish(Outcome::failed, std::move(reason));
    report_->failure = kind;
}

void Job::failOnFile(std::string problem) {
    const bool full = problem.find("the disk is full") != std::string::npos;
    fail(full ? FailureKind::diskFull : FailureKind::fileError, std::move(problem));
}

JobReport Job::release() {
    for (auto& transfer : transfers_) removeRequest(*transfer);
    if (!report_) finish(Outcome::stopped, "");
    if (file_ && previous_ && worthKeeping()) {
        // Ended before the server was heard: what an earlier job kept stays as it was.
        worker_.reset();
        file_.reset();
    }
    if (file_) {
        bool keep = worthKeeping() && recordable();
        if (keep) {
            // What arrived is kept: written, flushed and recorded before the file is let go.
            for (auto& transfer : transfers_) {
                if (!transfer->batch.empty() &&
                    !file_->writeAt(transfer->batchOffset, transfer->batch)) {
                    noteWritten(
                        transfer->batchOffset,
                        transfer->batchOffset + static_cast<std::int64_t>(transfer->batch.size()));
                }
                transfer->batch.clear();
            }
            keep = !written_.empty();
        }
        if (keep) {
            worker_->checkpoint(currentRecord());
            worker_->waitForCheckpoint();
            worker_.reset();
            file_.reset();
        } else {
            worker_.reset();
            if (ownsName_) {
                removeFile(names_.record);
                removeStagingLeftovers(options_.target);
            }
            file_->discard();
            file_.reset();
        }
    }
    worker_.reset();
    report_->connectionsUsed = connections_;
    report_->resumedBytes = resumedBytes_;
    return *report_;
}

void Job::removeRequest(Transfer& transfer) {
    if (transfer.state != Transfer::State::running && transfer.state != Transfer::State::opening)
        return;
    long opened = 0;
    curl_easy_getinfo(transfer.easy(), CURLINFO_NUM_CONNECTS, &opened);
    connections_ += static_cast<int>(opened);
    curl_multi_remove_handle(multi_, transfer.easy());
    transfer.state = Transfer::State::idle;
}

bool Job::isFtp(Transfer& transfer) const {
    const char* scheme = nullptr;
    curl_easy_getinfo(transfer.easy(), CURLINFO_SCHEME, &scheme);
    return scheme != nullptr &&
           (std::strcmp(scheme, "FTP") == 0 || std::strcmp(scheme, "ftp") == 0);
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

// ---- receiving ----------------------------------------------------------------------------

std::size_t Job::receive(Transfer& transfer, const char* data, std::size_t length) {
    answered_ = true;
    if (report_ || restartPending_) {
        transfer.cut = Transfer::Cut::refused;
        return 0;
    }
    // libcurl hands the FTP probe's header lines to this callback as well.
    if (transfer.headersOnly) return length;
    if (!transfer.checked && !checkBeforeFirstByte(transfer)) {
        transfer.cut = Transfer::Cut::refused;
        return 0;
    }
    auto room = static_cast<std::uint64_t>(transfer.requestEnd - transfer.offset);
    std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(length, room));
    if (taken > 0 && !store(transfer, data, taken)) {
        transfer.cut = Transfer::Cut::refused;
        return 0;
    }
    // More than was asked for: the rest belongs to another connection now.
    if (taken < length) transfer.cut = Transfer::Cut::trimmed;
    return taken;
}

bool Job::store(Transfer& transfer, const char* data, std::size_t length) {
    auto& batch = transfer.batch;
    if (batch.size() + length > batch.capacity() && !flush(transfer)) return false;
    if (batch.empty() && length >= batch.capacity()) {
        // Large enough on its own: no copy.
        if (auto problem = file_->writeAt(transfer.offset, std::span(data, length))) {
            failOnFile(*problem);
            return false;
        }
        noteWritten(transfer.offset, transfer.offset + static_cast<std::int64_t>(length));
        transfer.batchOffset = transfer.offset + static_cast<std::int64_t>(length);
    } else {
        batch.insert(batch.end(), data, data + length);
    }
    transfer.offset += static_cast<std::int64_t>(length);
    progress_->received.fetch_add(static_cast<std::int64_t>(length), std::memory_order_relaxed);
    return true;
}

bool Job::flush(Transfer& transfer) {
    if (transfer.batch.empty() || !file_) return true;
    auto problem = file_->writeAt(transfer.batchOffset, transfer.batch);
    const std::int64_t end =
        transfer.batchOffset + static_cast<std::int64_t>(transfer.batch.size());
    if (!problem) noteWritten(transfer.batchOffset, end, &transfer.batch);
    transfer.batchOffset = end;
    transfer.batch.clear();
    if (problem) failOnFile(*problem);
    return !problem;
}

bool Job::checkBeforeFirstByte(Transfer& transfer) {
    transfer.checked = true;
    if (isFtp(transfer)) return true;
    switch (checkResponse(transfer.head, transfer.asked, identity_)) {
        case Verdict::accept:
            if (mode_ == Mode::probing) return acceptProbe(transfer, transfer.asked.ranged);
            return identity_ ? true : acceptProbe(transfer, false);
        case Verdict::ignoresRanges:
            if (mode_ == Mode::probing) return acceptProbe(transfer, false);
            requestRestartOverOneConnection();
            return false;
        case Verdict::mismatch:
            if (mode_ == Mode::single) {
                fail(FailureKind::serverInconsistent,
                     "the server's answer does not match the request");
            } else {
                requestRestartOverOneConnection();
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
    identity_ = identityOf(transfer.head);
    if (ranged) {
        adoptOrDropPreviousRecord();
        startSegments(transfer, identity_->size);
        return !report_;
    }
    // The whole file from its first byte: nothing earlier can be kept.
    startOver();
    transfer.offset = transfer.batchOffset = 0;
    mode_ = Mode::single;
    learnSize(identity_->size);
    transfer.requestEnd = transfer.end = size_ >= 0 ? size_ : kUnbounded;
    return !report_;
}

void Job::startSegments(Transfer& first, std::int64_t size) {
    mode_ = Mode::segmented;
    segmentsStart_ = Clock::now();
    learnSize(size);
    if (report_) return;
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
    for (const auto& gap : written_.missing(size)) gaps.emplace_back(gap.begin, gap.end);
    // A file that is checked fills from its start, so that the hash can follow close behind.
    const std::int64_t largest = expectedSha256_ ? size / (8 * options_.connections) : 0;
    auto pieces = piecesForGaps(gaps, options_.connections, options_.tuning.minPieceSize, largest);
    // The first request already asks for a stretch; its piece covers at least that, and what lies
    // before it in that piece goes back to be shared out.
    first.requestEnd = std::min(first.requestEnd, size);
    first.end = first.requestEnd;
    for (const auto& piece : pieces) {
        if (piece.begin <= first.offset && first.offset < piece.end) {
            first.end = std::max(piece.end, first.requestEnd);
        }
    }
    freePieces_.clear();
    for (const auto& piece : pieces) {
        if (piece.begin < first.offset) {
            freePieces_.push_back({piece.begin, std::min(piece.end, first.offset), 0});
        }
        if (piece.end > first.end) {
            freePieces_.push_back({std::max(piece.begin, first.end), piece.end, 0});
        }
    }
}

void Job::requestRestartOverOneConnection() {
    if (restartedOnce_) {
        fail(FailureKind::serverInconsistent,
             "the server does not answer range requests consistently");
        return;
    }
    restartPending_ = true;
}

// ---- after a request -----------------------------------------------------------------------

void Job::onRequestDone(Transfer& transfer, CURLcode code, Clock::time_point now) {
    const bool opening = transfer.state == Transfer::State::opening;
    removeRequest(transfer);
    if (opening) return;  // its connection waits in the pool, whatever the answer
    answered_ = answered_ || transfer.headBytes > 0;
    if (report_ || restartPending_) return;
    if (transfer.headTooLarge) {
        return fail(FailureKind::serverError, "the server sent more than " +
                                                  std::to_string(kLongestResponseHead / 1024) +
                                                  " KiB of response head");
    }
    if (!flush(transfer)) return;
    bool trimmed = code == CURLE_WRITE_ERROR && transfer.cut == Transfer::Cut::trimmed;
    if (code == CURLE_OK || trimmed) return handleSuccess(transfer, now);
    if (transfer.cut == Transfer::Cut::refused) return;  // the job's state says why
    handleFailure(transfer, code, now);
}

void Job::handleSuccess(Transfer& transfer, Clock::time_point now) {
    if (!transfer.checked && !transfer.headersOnly && !checkBeforeFirstByte(transfer)) return;
    if (transfer.headersOnly) {
        // The FTP probe: SIZE told the length, or nothing.
        curl_off_t length = -1;
        curl_off_t time = -1;
        curl_easy_getinfo(transfer.easy(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        curl_easy_getinfo(transfer.easy(), CURLINFO_FILETIME_T, &time);
        curl_easy_setopt(transfer.easy(), CURLOPT_FILETIME, 0L);  // the pieces need no MDTM
        identity_ = FileIdentity{length, "", time >= 0 ? "mdtm " + std::to_string(time) : ""};
        transfer.offset = transfer.requestEnd = 0;
        if (length >= 0) {
            adoptOrDropPreviousRecord();
            return startSegments(transfer, length);
        }
        startOver();
        mode_ = Mode::single;
        transfer.end = kUnbounded;
        return;
    }
    if (transfer.requestEnd == kUnbounded) {
        // A stream of unknown length ends where the server ends it. Too late to be news.
        size_ = transfer.offset;
        progress_->totalSize.store(size_, std::memory_order_relaxed);
        transfer.requestEnd = transfer.end = transfer.offset;
    }
    if (transfer.offset < transfer.requestEnd) {
        return retryLater(transfer, {true, "the server sent less than it announced"}, now);
    }
    transfer.recordFinishedRequest(now);
    transfer.failures = 0;
}

void Job::handleFailure(Transfer& transfer, CURLcode code, Clock::time_point now) {
    long status = 0;
    curl_easy_getinfo(transfer.easy(), CURLINFO_RESPONSE_CODE, &status);
    if (mode_ == Mode::probing && status == 416 && probeStart_ > 0) {
        // The file no longer reaches where the record says it stopped: start over.
        startOver();
        probeStart_ = 0;
        probeEnd_ = kUnbounded;
        return;
    }
    if (mode_ == Mode::probing && status == 416) {
        // An empty file has no byte ranges: ask for it whole.
        mode_ = Mode::single;
        transfer.end = kUnbounded;
        return;
    }
    Failure failure = classifyFailure(code, status, transfer.errorDetail);
    if (!failure.transient) return fail(failure.kind, failure.reason);
    retryLater(transfer, failure, now);
}

void Job::retryLater(Transfer& transfer, const Failure& failure, Clock::time_point now) {
    if (++transfer.failures >= options_.tuning.triesPerPiece) {
        return fail(failure.kind, failure.reason + " (gave up after " +
                                      std::to_string(transfer.failures) + " tries)");
    }
    if (restartGotNoFurther(transfer)) {
        return fail(failure.kind, failure.reason + " (gave up after " +
                                      std::to_string(transfer.failures) +
                                      " tries from the first byte: none got further than " +
                                      std::to_string(furthestFromStart_) + " bytes)");
    }
    const auto pause = pauseAfter(transfer.failures, options_.tuning);
    if (outOfPatienceForAnAnswer(pause, now)) {
        return fail(failure.kind, failure.reason + " (no answer from the server after " +
                                      std::to_string(transfer.failures) + " tries)");
    }
    ++retries_;
    if (mode_ == Mode::segmented && transfer.offset < transfer.end) {
        // Give the rest back, so that any connection can take it, split or whole.
        freePieces_.push_back({transfer.offset, transfer.end, transfer.failures});
        transfer.end = transfer.requestEnd = transfer.offset;
    }
    transfer.state = Transfer::State::pausing;
    transfer.resumeAt = now + pause;
}

// Over one stream every try starts again from the first byte: one that ends no further than an
// earlier one is no progress, and a server that cuts every answer at the same place never gets
// to the end, so a few such tries are enough. Tries that got no byte are left to the tries.
bool Job::restartGotNoFurther(const Transfer& transfer) {
    if (mode_ != Mode::single || transfer.offset == 0) return false;
    if (transfer.offset > furthestFromStart_) {
        furthestFromStart_ = transfer.offset;
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

// ---- scheduling ----------------------------------------------------------------------------

void Job::schedule(Clock::time_point now) {
    if (restartPending_ && !report_) restartOverOneConnection(now);
    if (report_) return;
    if (now - lastCheckpoint_ >= options_.tuning.checkpointInterval) checkpointNow(now);
    if (worthOpeningOthers(now)) openOtherConnections(now);
    for (auto& transfer : transfers_) {
        if (transfer->state == Transfer::State::pausing && now >= transfer->resumeAt) {
            transfer->state = Transfer::State::idle;
        }
    }
    if (mode_ == Mode::segmented) {
        relieveSlowTransfers(now);
        addTransfersForFreePieces(now);
    }
    for (auto& transfer : transfers_) {
        if (report_) return;
        if (transfer->state != Transfer::State::idle) continue;
        bool hasWork = transfer->offset < transfer->end;
        if (mode_ == Mode::segmented && !hasWork) hasWork = findWork(*transfer, now);
        if (hasWork) issueRequest(*transfer, now);
    }
    completeIfDone();
}

bool Job::mayOpenOthers() const {
    if (mode_ != Mode::probing || ftp_ || othersOpened_ || options_.connections < 2) return false;
    // A probe that failed, or whose answer has begun, is not waited for.
    const Transfer& probe = *transfers_.front();
    return !answered_ && probe.state == Transfer::State::running && probe.headBytes == 0;
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
        other.prepare({}, true, connectTimeout(now), now);
        other.state = Transfer::State::opening;
        curl_multi_add_handle(multi_, other.easy());
    }
}

void Job::addTransfersForFreePieces(Clock::time_point now) {
    if (freePieces_.empty() || !worthMoreConnections(now)) return;
    std::size_t idle = std::count_if(transfers_.begin(), transfers_.end(), [](const auto& t) {
        return t->state == Transfer::State::idle;
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
        if (other->state != Transfer::State::running || other.get() == except) continue;
        const bool measured = other->measuredSeconds(now) >= settled.count() / 1000.0;
        claims.push_back({other->offset, other->requestEnd, other->end,
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
        freePieces_.push_back({relief.begin, slow.end, 0});
        slow.end = relief.begin;
        slow.requestEnd = std::min(slow.requestEnd, relief.begin);
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
        transfer.offset = transfer.requestEnd = lowest->begin;
        transfer.end = lowest->begin + taken;
        transfer.failures = lowest->failures;
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
    victim.end = takeover->begin;
    if (takeover->cutsRequest) victim.requestEnd = takeover->begin;
    transfer.offset = transfer.requestEnd = takeover->begin;
    transfer.end = takeover->end;
    transfer.failures = 0;
    return true;
}

void Job::issueRequest(Transfer& transfer, Clock::time_point now) {
    const Tuning& tuning = options_.tuning;
    RequestedRange asked;
    bool headersOnly = false;
    if (mode_ == Mode::segmented) {
        auto length = nextRequestLength(transfer.offset, transfer.end, tuning.largestRequest,
                                        tuning.minPieceSize, transfer.bytesPerSecond(now),
                                        transfer.answerSeconds());
        transfer.requestEnd = transfer.offset + length;
        asked = {true, transfer.offset, transfer.requestEnd - 1};
    } else if (mode_ == Mode::probing) {
        headersOnly = ftp_;
        transfer.offset = headersOnly ? 0 : probeStart_;
        transfer.end = kUnbounded;
        transfer.requestEnd =
            headersOnly ? 0 : std::min(probeStart_ + 4 * tuning.minPieceSize, probeEnd_);
        if (!headersOnly) asked = {true, transfer.offset, transfer.requestEnd - 1};
    } else {
        // One stream from the start; bytes from an earlier try are received again.
        progress_->received.fetch_sub(transfer.offset, std::memory_order_relaxed);
        transfer.offset = 0;
        transfer.requestEnd = transfer.end = size_ >= 0 ? size_ : kUnbounded;
    }
    transfer.prepare(asked, headersOnly, connectTimeout(now), now);
    transfer.state = Transfer::State::running;
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
    if (mode_ == Mode::probing || !freePieces_.empty()) return;
    for (const auto& transfer : transfers_) {
        if (transfer->state == Transfer::State::running || transfer->offset < transfer->end) return;
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
    restartPending_ = false;
    restartedOnce_ = true;
    for (auto& transfer : transfers_) removeRequest(*transfer);
    transfers_.resize(1);
    freePieces_.clear();
    Transfer& only = *transfers_.front();
    only.batch.clear();
    only.failures = 0;
    progress_->received.store(0, std::memory_order_relaxed);
    only.offset = 0;
    mode_ = Mode::single;
    // The hash and the record start again with the file.
    worker_ = std::make_unique<FileWorker>(*file_, names_, expectedSha256_.has_value());
    startOver();
    if (report_) return;
    issueRequest(only, now);
}

std::optional<Clock::time_point> Job::nextWake() const {
    std::optional<Clock::time_point> earliest;
    if (mode_ == Mode::segmented && !spreading_ && Clock::now() < segmentsStart_ + kTrialPeriod) {
        earliest = segmentsStart_ + kTrialPeriod;  // time to decide on more connections
    }
    const auto openOthersAfter = options_.tuning.openOthersAfter;
    if (mayOpenOthers() && openOthersAfter != std::chrono::milliseconds::max()) {
        earliest = began_ + openOthersAfter;
    }
    for (const auto& transfer : transfers_) {
        if (transfer->state != Transfer::State::pausing) continue;
        if (!earliest || transfer->resumeAt < *earliest) earliest = transfer->resumeAt;
    }
    return earliest;
}

}  // namespace quorvane::engine
