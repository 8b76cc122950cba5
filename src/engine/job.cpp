#include "engine/job.h"

#include <curl/curl.h>

#include <algorithm>

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
    FileProblem whyNot;
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
    if (phase_ != Phase::ended) interrupted_ = true;
    finish(Outcome::stopped, "");
}

void Job::enter(Phase next) {
    if (phase_ == Phase::ended) return;  // the first end wins
    switch (next) {
        case Phase::segmented:
            segmentsStart_ = Clock::now();
            inPieces_ = true;
            break;
        case Phase::restarting:
            // One stream from the start is tried once; a second inconsistency ends the job.
            if (restartedOnce_) {
                return fail(FailureKind::serverInconsistent,
                            "the server does not answer range requests consistently");
            }
            break;
        case Phase::single:
            if (phase_ == Phase::restarting) restartedOnce_ = true;
            inPieces_ = false;
            break;
        case Phase::probing:
        case Phase::ended:
            break;
    }
    phase_ = next;
}

void Job::finish(Outcome outcome, std::string reason) {
    if (phase_ == Phase::ended) return;  // the first end wins
    JobReport report;
    report.outcome = outcome;
    report.reason = std::move(reason);
    report.bytes = progress_->received.load(std::memory_order_relaxed);
    report.totalSize = size_;
    report.retries = retries_;
    report_ = std::move(report);
    enter(Phase::ended);
}

void Job::fail(FailureKind kind, std::string reason) {
    if (phase_ == Phase::ended) return;
    finish(Outcome::failed, std::move(reason));
    report_->failure = kind;
}

void Job::failOnFile(FileProblem problem) {
    fail(problem.diskFull ? FailureKind::diskFull : FailureKind::fileError,
         std::move(problem.text));
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

Job::Leftover Job::leftover() const {
    if (!file_ || !worthKeeping()) return Leftover::nothing;
    if (previous_) return Leftover::asItWas;
    return recordable() ? Leftover::whatArrived : Leftover::nothing;
}

bool Job::writeOutBatches() {
    for (auto& transfer : transfers_) {
        const auto& batch = transfer->batch();
        const std::int64_t begin = transfer->batchOffset();
        if (!batch.empty() && !file_->writeAt(begin, batch)) {
            noteWritten(begin, begin + static_cast<std::int64_t>(batch.size()));
        }
        transfer->batchDone();
    }
    return !written_.empty();
}

void Job::removeTemporaryFiles() {
    worker_.reset();
    if (ownsName_) {
        removeFile(names_.record);
        removeStagingLeftovers(options_.target);
    }
    file_->discard();
}

JobReport Job::release() {
    for (auto& transfer : transfers_) removeRequest(*transfer);
    finish(Outcome::stopped, "");
    switch (leftover()) {
        case Leftover::asItWas:
            break;
        case Leftover::whatArrived:
            // What arrived is kept: written, flushed and recorded before the file is let go.
            if (writeOutBatches()) {
                worker_->checkpoint(currentRecord());
                worker_->waitForCheckpoint();
                break;
            }
            removeTemporaryFiles();
            break;
        case Leftover::nothing:
            if (file_) removeTemporaryFiles();
            break;
    }
    worker_.reset();
    file_.reset();
    report_->connectionsUsed = connections_;
    report_->resumedBytes = resumedBytes_;
    return *report_;
}

void Job::removeRequest(Transfer& transfer) {
    if (transfer.state() != Transfer::State::running &&
        transfer.state() != Transfer::State::opening)
        return;
    long opened = 0;
    curl_easy_getinfo(transfer.easy(), CURLINFO_NUM_CONNECTS, &opened);
    connections_ += static_cast<int>(opened);
    curl_multi_remove_handle(multi_, transfer.easy());
    transfer.requestRemoved();
}

}  // namespace quorvane::engine
