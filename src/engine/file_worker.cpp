#include "engine/file_worker.h"

#include <algorithm>

namespace quorvane::engine {
namespace {

constexpr std::int64_t kReadBlock = 1 << 20;
// The hash is woken once this much waits for it: a wake-up costs more than a little hashing.
constexpr std::int64_t kHashWake = 2 << 20;
// The most that waits in memory for the hash. When more arrives, what the hash will need last
// is let go: it is in the file and will be read back from there.
constexpr std::size_t kMostInMemory = 16 << 20;

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
        if (!hashWanted()) return;
    }
    changed_.notify_all();
}

void FileWorker::hashFromMemory(std::int64_t offset, std::vector<char>& bytes) {
    if (!hashing_ || bytes.empty()) return;
    const std::size_t capacity = bytes.capacity();
    std::vector<char> spare;
    {
        std::lock_guard lock(mutex_);
        if (offset < hashed_) return;
        while (inMemoryBytes_ + bytes.size() > kMostInMemory && !inMemory_.empty() &&
               std::prev(inMemory_.end())->first > offset) {
            auto last = inMemory_.extract(std::prev(inMemory_.end()));
            inMemoryBytes_ -= last.mapped().size();
            spares_.push_back(std::move(last.mapped()));
        }
        if (inMemoryBytes_ + bytes.size() > kMostInMemory) return;
        if (!spares_.empty()) {
            spare = std::move(spares_.back());
            spares_.pop_back();
        }
        inMemoryBytes_ += bytes.size();
        inMemory_[offset] = std::move(bytes);
    }
    spare.clear();
    spare.reserve(capacity);
    bytes = std::move(spare);
}

std::optional<std::string> FileWorker::finishHash(std::int64_t size) {
    std::unique_lock lock(mutex_);
    hashTarget_ = std::max(hashTarget_, size);
    finishing_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return readFailed_ || hashed_ >= size; });
    if (readFailed_) return std::nullopt;
    return hash_.finishHex();
}

void FileWorker::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return quitting_ || pending_ || hashWanted(); });
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
    replaceFile(
        names_.record, [this](std::string_view tag) { return names_.staging(tag); },
        serializeRecord(record));
}

bool FileWorker::hashWanted() const {
    const std::int64_t waiting = hashTarget_ - hashed_;
    return !readFailed_ && waiting > 0 && (waiting >= kHashWake || finishing_);
}

// A step at a time, without the lock, so that checkpoints and new targets get in between.
void FileWorker::hashSome(std::unique_lock<std::mutex>& lock) {
    while (!inMemory_.empty() && inMemory_.begin()->first < hashed_) {
        // Overtaken, which cannot happen while every byte is written once.
        inMemoryBytes_ -= inMemory_.begin()->second.size();
        inMemory_.erase(inMemory_.begin());
    }
    if (!inMemory_.empty() && inMemory_.begin()->first == hashed_) {
        hashBlock(lock);
    } else {
        readBackAndHash(lock);
    }
    changed_.notify_all();
}

// Every byte of a block is written, so once the front of the bytes written in order reaches its
// start it covers the whole block.
void FileWorker::hashBlock(std::unique_lock<std::mutex>& lock) {
    auto block = inMemory_.extract(inMemory_.begin());
    lock.unlock();
    hash_.add(block.mapped());
    lock.lock();
    hashed_ += static_cast<std::int64_t>(block.mapped().size());
    inMemoryBytes_ -= block.mapped().size();
    // Kept for the next handover: allocating afresh would cost the engine's thread page faults.
    spares_.push_back(std::move(block.mapped()));
}

// Up to the next block in memory: the bytes between were not kept.
void FileWorker::readBackAndHash(std::unique_lock<std::mutex>& lock) {
    std::int64_t end = std::min(hashTarget_, hashed_ + kReadBlock);
    if (!inMemory_.empty()) end = std::min(end, inMemory_.begin()->first);
    const std::int64_t from = hashed_;
    lock.unlock();
    readBuffer_.resize(static_cast<std::size_t>(end - from));
    const bool ok = !file_.readAt(from, readBuffer_);
    if (ok) hash_.add(readBuffer_);
    lock.lock();
    if (ok) {
        hashed_ = end;
    } else {
        readFailed_ = true;
    }
}

}  // namespace quorvane::engine
