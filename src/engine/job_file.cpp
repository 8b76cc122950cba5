#include "engine/job.h"

#include <span>

namespace quorvane::engine {

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
    return resumable_ && inPieces_ && size_ >= 0 && identity_ && namesAVersion(*identity_);
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

// ---- writing ------------------------------------------------------------------------------

bool Job::store(Transfer& transfer, const char* data, std::size_t length) {
    if (!transfer.batchHasRoomFor(length) && !flush(transfer)) return false;
    if (transfer.writesStraight(length)) {
        if (auto problem = file_->writeAt(transfer.offset(), std::span(data, length))) {
            failOnFile(*problem);
            return false;
        }
        noteWritten(transfer.offset(), transfer.offset() + static_cast<std::int64_t>(length));
        transfer.wroteStraight(length);
    } else {
        transfer.keep(data, length);
    }
    progress_->received.fetch_add(static_cast<std::int64_t>(length), std::memory_order_relaxed);
    return true;
}

bool Job::flush(Transfer& transfer) {
    auto& batch = transfer.batch();
    if (batch.empty() || !file_) return true;
    const std::int64_t begin = transfer.batchOffset();
    const std::int64_t end = begin + static_cast<std::int64_t>(batch.size());
    auto problem = file_->writeAt(begin, batch);
    if (!problem) noteWritten(begin, end, &batch);
    transfer.batchDone();
    if (problem) failOnFile(*problem);
    return !problem;
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

bool Job::verify() {
    if (!expectedSha256_) return true;
    auto digest = worker_->finishHash(size_);
    if (!digest) {
        failOnFile(FileProblem("cannot read the file back to check it"));
        return false;
    }
    if (*digest == *expectedSha256_) return true;
    fail(FailureKind::verificationFailed, "the file from " + options_.url + " has the SHA-256 " +
                                              *digest + ", not " + *expectedSha256_);
    return false;
}

}  // namespace quorvane::engine
