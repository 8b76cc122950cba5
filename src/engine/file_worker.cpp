#include "engine/file_worker.h"

namespace quorvane::engine {
namespace {

constexpr std::int64_t kHashBlock = 1 << 20;

}  // namespace

FileWorker::FileWorker(const PartFile& file, ResumeFiles names, bool hashing)
    : file_(file), names_(std::move(names)), hashing_(hashing) {
    thread_ = std::thread([this] { run(); });
}

FileWorker::~FileWorker() {
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FileWorker::checkpoint(ResumeRecord record) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(record);
    }
    changed_.notify_all();
}

void FileWorker::waitForCheckpoint() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ && !writing_; });
}

void FileWorker::hashUpTo(std::int64_t end) {
    if (!hashing_) return;
    {
        std::lock_guard lock(mutex_);
        if (end <= hashTarget_) return;
        hashTarget_ = end;
    }
    changed_.notify_all();
}

std::optional<std::string> FileWorker::finishHash(std::int64_t size) {
    hashUpTo(size);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return readFailed_ || hashed_ >= size; });
    if (readFailed_) return std::nullopt;
    return hash_.finishHex();
}

void FileWorker::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] {
            return quitting_ || pending_ || (!readFailed_ && hashed_ < hashTarget_);
        });
        if (pending_) {
            ResumeRecord record = std::move(*pending_);
            pending_.reset();
            writing_ = true;
            lock.unlock();
            writeCheckpoint(record);
            lock.lock();
            writing_ = false;
            changed_.notify_all();
            continue;
        }
        if (quitting_) return;  // a job that ends early needs no digest
        hashSome(lock);
    }
}

// The order is what makes a record trustworthy: the data reaches the disk before the record that
// claims it replaces the old one.
void FileWorker::writeCheckpoint(const ResumeRecord& record) {
    if (file_.syncData()) return;  // the old record stays; it claims less
    replaceFile(names_.record, names_.staging, serializeRecord(record));
}

// One block at a time, without the lock, so that checkpoints and new targets get in between.
void FileWorker::hashSome(std::unique_lock<std::mutex>& lock) {
    const std::int64_t from = hashed_;
    const std::int64_t length = std::min(kHashBlock, hashTarget_ - hashed_);
    lock.unlock();
    block_.resize(static_cast<std::size_t>(length));
    bool ok = !file_.readAt(from, block_);
    if (ok) hash_.add(block_);
    lock.lock();
    if (ok) {
        hashed_ += length;
    } else {
        readFailed_ = true;
    }
    changed_.notify_all();
}

}  // namespace quorvane::engine
