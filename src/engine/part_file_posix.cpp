#include "engine/part_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/part_name.h"

namespace quorvane::engine {
namespace {

// `what` and the system's reason, known as a full disk where the system says so.
FileProblem problemOf(const std::string& what, int error) {
    if (error == ENOSPC || error == EDQUOT) return {what + "the disk is full", true};
    return what + std::strerror(error);
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

// A rename is durable only once the folder that holds the name is flushed too.
void syncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

FileProblem openProblemOf(const std::string& what, int error) {
    if (error == ELOOP) return what + "it is a symbolic link";
    return problemOf(what, error);
}

// Why the open file is not one of the program's own: a FIFO, a device, a folder, or a file that
// has another name as well (a hard link), which writing would change under that name too.
Problem notOwnFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return problemOf("", errno);
    if (!S_ISREG(info.st_mode)) return std::string("it is not a regular file");
    if (info.st_nlink > 1) return std::string("it has another name (a hard link)");
    return std::nullopt;
}

// Creates a file under a name that nothing had, from `name` and a random tag: never through a
// link, and never one that is there already. -1, with whyNot told, when it cannot.
int createFresh(const TaggedName& name, int access, std::filesystem::path& path,
                FileProblem& whyNot) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        path = name(randomTag());
        int fd = ::open(path.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            whyNot = problemOf("cannot create " + path.string() + ": ", errno);
            return -1;
        }
    }
    whyNot = "cannot find a free temporary name in " + folderOf(path).string();
    return -1;
}

bool isRegularFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Problem writeAll(int fd, std::int64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return problemOf("cannot write the file: ", errno);
        }
        if (written == 0) return FileProblem("cannot write the file: the disk is full", true);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += written;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PartFile> PartFile::open(const std::filesystem::path& path, FileProblem& whyNot,
                                       bool& locked) {
    locked = false;
    // Without waiting on a FIFO or a device: whatever it is, it is looked at and let go.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        whyNot = openProblemOf("cannot open " + path.string() + ": ", errno);
        return std::nullopt;
    }
    if (auto problem = notOwnFile(fd)) {
        ::close(fd);
        whyNot = "cannot use " + path.string() + ": " + problem->text + "; it was left as it is";
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        locked = errno == EWOULDBLOCK;
        ::close(fd);
        whyNot = "another download is writing " + path.string();
        return std::nullopt;
    }
    return PartFile(fd, path);
}

// The lock is advisory: the other library's own descriptors write on regardless.
std::optional<PartFile> PartFile::openShared(const std::filesystem::path& path, FileProblem& whyNot,
                                             bool& locked) {
    return open(path, whyNot, locked);
}

std::optional<PartFile> PartFile::createUnique(const std::filesystem::path& target,
                                               FileProblem& whyNot) {
    const auto folder = folderOf(target);
    std::filesystem::path path;
    int fd = createFresh(
        [&](std::string_view tag) { return folder / partFileName(target.filename(), tag); }, O_RDWR,
        path, whyNot);
    if (fd < 0) return std::nullopt;
    return PartFile(fd, std::move(path));
}

void PartFile::close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));  // also releases the lock
}

std::int64_t PartFile::length() const {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

std::int64_t PartFile::room() const {
    struct statvfs volume {};
    struct stat info {};
    if (::fstatvfs(fd_, &volume) != 0 || ::fstat(fd_, &info) != 0) return -1;
    auto free =
        static_cast<std::int64_t>(volume.f_bavail) * static_cast<std::int64_t>(volume.f_frsize);
    return free + static_cast<std::int64_t>(info.st_blocks) * 512;
}

Problem PartFile::reserve(std::int64_t size) {
#ifdef __linux__
    // On tmpfs reserving means zeroing memory that is about to be overwritten: skip it there.
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs info {};
    if (::fstatfs(fd_, &info) == 0 && info.f_type == kTmpfsMagic) return std::nullopt;
    // fallocate, unlike posix_fallocate, never falls back to writing zeros. Blocks a resumed file
    // already has are kept as they are.
    if (size > 0 && ::fallocate(fd_, 0, 0, size) != 0 && (errno == ENOSPC || errno == EDQUOT)) {
        return problemOf("", errno);
    }
#else
    (void)size;
#endif
    return std::nullopt;
}

Problem PartFile::writeAt(std::int64_t offset, std::span<const char> bytes) {
    return writeAll(fd_, offset, bytes);
}

Problem PartFile::readAt(std::int64_t offset, std::span<char> bytes) const {
    while (!bytes.empty()) {
        ssize_t got = ::pread(fd_, bytes.data(), bytes.size(), offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return problemOf("cannot read the file back: ", errno);
        }
        if (got == 0) return std::string("cannot read the file back: it is shorter than written");
        bytes = bytes.subspan(static_cast<std::size_t>(got));
        offset += got;
    }
    return std::nullopt;
}

Problem PartFile::truncate(std::int64_t size) {
    if (::ftruncate(fd_, size) != 0) return problemOf("cannot resize the file: ", errno);
    return std::nullopt;
}

Problem PartFile::syncData() const {
    if (::fdatasync(fd_) != 0) return problemOf("cannot write the file: ", errno);
    return std::nullopt;
}

Problem PartFile::commit(const std::filesystem::path& target, bool flush) {
    auto failed = [this](const std::string& what, int error) -> Problem {
        discard();
        return problemOf(what, error);
    };
    // Data first: otherwise a power cut can leave the target's name on blocks never written.
    if (flush && ::fdatasync(fd_) != 0) return failed("cannot write the file: ", errno);
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) return failed("cannot write the file: ", errno);
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        return failed("cannot move the file into place: ", errno);
    }
    if (flush) syncFolder(folderOf(target));
    path_.clear();
    return std::nullopt;
}

void PartFile::discard() {
    close();
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

void PartFile::markVisible() {}  // a leading dot hides a name; the new name has none

// rename(2) replaces the target at once: nothing has to move.
std::optional<std::filesystem::path> moveOutOfTheWay(const std::filesystem::path&,
                                                     const TaggedName&, FileProblem&) {
    return std::filesystem::path();
}

void moveBack(const std::filesystem::path&, const std::filesystem::path&) {}

Problem replaceFile(const std::filesystem::path& path, const TaggedName& stagingName,
                    std::string_view bytes) {
    std::filesystem::path staging;
    FileProblem whyNot;
    int fd = createFresh(stagingName, O_WRONLY, staging, whyNot);
    if (fd < 0) return whyNot;
    Problem problem = writeAll(fd, 0, bytes);
    if (!problem && ::fdatasync(fd) != 0) problem = problemOf("cannot write: ", errno);
    if (::close(fd) != 0 && !problem) problem = problemOf("cannot write: ", errno);
    struct stat info {};
    if (!problem && ::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        problem = "cannot replace " + path.string() + ": it is not a regular file";
    }
    if (!problem && ::rename(staging.c_str(), path.c_str()) != 0) {
        problem = problemOf("cannot replace " + path.string() + ": ", errno);
    }
    if (problem) ::unlink(staging.c_str());
    return problem;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t most) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    while (true) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || bytes.size() + static_cast<std::size_t>(got) > most) {
            ::close(fd);
            if (got == 0) return bytes;
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

void removeFile(const std::filesystem::path& path) {
    if (isRegularFile(path)) ::unlink(path.c_str());
}

// The lock decides, held while the name goes, and the name must still be the file that was
// locked: a job that opens it meanwhile finds it locked and takes a name of its own.
bool removeUnusedPartFile(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened {};
    struct stat named {};
    bool gone = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                ::unlink(path.c_str()) == 0;
    ::close(fd);
    return gone;
}

}  // namespace quorvane::engine
