#pragma once

// The engine's only contact with the file system (the *_posix.cpp and *_win32.cpp twins).
//
// PartFile is the file a job writes into: a hidden temporary file beside the target, so that the
// target's name never holds a partial file, found again from the target's name so that a later
// job can resume it, and locked while a job writes it. It is renamed onto the target when the job
// completes; otherwise the job keeps it for a resume or removes it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace quorvane::engine {

// Why a file operation failed, for a person to read, and whether it was for want of room: the
// one failure a job handles apart, since the space is what the user needs back.
struct FileProblem {
    FileProblem() = default;
    FileProblem(std::string text, bool diskFull = false)  // NOLINT: a text alone is a problem
        : text(std::move(text)), diskFull(diskFull) {}
    std::string text;
    bool diskFull = false;
};

// Empty when all went well.
using Problem = std::optional<FileProblem>;

// Names a new file from a random tag of kTagLength hex digits.
using TaggedName = std::function<std::filesystem::path(std::string_view tag)>;

class PartFile {
  public:
    // Opens the file at `path` for reading and writing, creating it when absent, and locks it
    // (an exclusive advisory lock, released by the system when the process dies). Fails when
    // another job holds the lock, and then says so in `locked`. Never opens through a link: what
    // is at `path` must be a plain file with no other name, or nothing, and anything else is
    // left untouched and named in `whyNot`.
    static std::optional<PartFile> open(const std::filesystem::path& path, FileProblem& whyNot,
                                        bool& locked);
    // As open(), for a file that another library of this process writes through handles of its
    // own (libtorrent): those may read, write and rename it meanwhile, while other jobs are kept
    // out all the same.
    static std::optional<PartFile> openShared(const std::filesystem::path& path,
                                              FileProblem& whyNot, bool& locked);
    // A new file under a name of its own beside the target (".<target name>.<random>.part", see
    // partFileName), for a job that cannot have the usual one because another job holds it.
    static std::optional<PartFile> createUnique(const std::filesystem::path& target,
                                                FileProblem& whyNot);

    PartFile(PartFile&& other) noexcept;
    PartFile& operator=(PartFile&& other) noexcept;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile();  // closes the file and leaves it where it is

    // Length of the file on disk; -1 when it cannot be told.
    std::int64_t length() const;
    // Bytes free on the file's volume plus the bytes the file already occupies there: how large
    // the file may grow. Measured before reserve(); -1 when the system cannot tell.
    std::int64_t room() const;
    // Reserves the blocks of a file of this size where the file system can. Only a full disk is
    // reported; other refusals are harmless.
    Problem reserve(std::int64_t size);
    Problem writeAt(std::int64_t offset, std::span<const char> bytes);
    // Reads exactly bytes.size() bytes; safe from another thread while writes go on elsewhere.
    Problem readAt(std::int64_t offset, std::span<char> bytes) const;
    // Cuts the file back to this size (after a restart from the beginning).
    Problem truncate(std::int64_t size);
    // Makes what was written so far survive a crash or a power cut; safe from another thread.
    Problem syncData() const;
    // Flushes the data, closes the file, renames it onto the target (replacing an existing file)
    // and flushes the folder, so that after a power cut the target holds the whole file or the
    // old one. The file is removed when any of it fails.
    Problem commit(const std::filesystem::path& target, bool flush = true);
    // Closes and removes the file.
    void discard();
    // Drops the hidden mark the file was made with (Windows), for a file that took its target's
    // name through another library's rename rather than through commit().
    void markVisible();

    const std::filesystem::path& path() const { return path_; }

  private:
    PartFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    void close();
    int fd_ = -1;
    std::filesystem::path path_;
};

// Replaces the file at `path` with `bytes` so that a crash leaves the old or the new content,
// never a mix: writes a new file under a name from `stagingName` that nothing had, flushes it
// and renames it over `path`. Refuses to replace anything but a plain file.
Problem replaceFile(const std::filesystem::path& path, const TaggedName& stagingName,
                    std::string_view bytes);
// The whole file when it is a plain file (not read through a link) of at most `most` bytes.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t most);
// Removes a plain file; a link, a folder or anything else stays.
void removeFile(const std::filesystem::path& path);
// For a rename that another library does (libtorrent's), which on Windows does not replace a
// file: where the system's rename would not, moves a plain file at `target` out of the way under
// a fresh name from `asideName` and returns that name, to be removed once the rename is
// done or put back with moveBack() when it fails. An empty path when nothing had to move; nullopt,
// with whyNot told, when the file cannot move (a folder, a link or a read-only file stays).
std::optional<std::filesystem::path> moveOutOfTheWay(const std::filesystem::path& target,
                                                     const TaggedName& asideName,
                                                     FileProblem& whyNot);
// Puts a file that moveOutOfTheWay() moved back at `target`, unless something took its place.
void moveBack(const std::filesystem::path& aside, const std::filesystem::path& target);
// Removes the part file at `path` unless a job holds its lock or it is not a plain file. True
// when it is gone.
bool removeUnusedPartFile(const std::filesystem::path& path);

}  // namespace quorvane::engine
