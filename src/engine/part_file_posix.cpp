#include "engine/part_file.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "engine/part_name.h"

namespace quorvane::engine {
namespace {

std::string describeError(int error) {
    if (error == ENOSPC || error == EDQUOT) return "the disk is full";
    return std::strerror(error);
}

std::string randomTag() {
    std::random_device device;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", device(), device());
    return text;
}

}  // namespace

std::optional<PartFile> PartFile::createBeside(const std::filesystem::path& target,
                                               std::string& whyNot) {
    const auto folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        auto path = folder / partFileName(target.filename(), randomTag());
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return PartFile(fd, std::move(path));
        if (errno != EEXIST) {
            whyNot = "cannot create a file in " + folder.string() + ": " + describeError(errno);
            return std::nullopt;
        }
    }
    whyNot = "cannot find a free temporary name in " + folder.string();
    return std::nullopt;
}

PartFile::PartFile(PartFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {
    other.path_.clear();
}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

PartFile::~PartFile() {
    discard();
}

Problem PartFile::reserve(std::int64_t size) {
#ifdef __linux__
    // On tmpfs reserving means zeroing memory that is about to be overwritten: skip it there.
    constexpr long kTmpfsMagic = 0x01021994;
    struct statfs info {};
    if (::fstatfs(fd_, &info) == 0 && info.f_type == kTmpfsMagic) return std::nullopt;
    // fallocate, unlike posix_fallocate, never falls back to writing zeros.
    if (size > 0 && ::fallocate(fd_, 0, 0, size) != 0 && (errno == ENOSPC || errno == EDQUOT)) {
        return describeError(errno);
    }
#else
    (void)size;
#endif
    return std::nullopt;
}

Problem PartFile::writeAt(std::int64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return "cannot write the file: " + describeError(errno);
        }
        if (written == 0) return std::string("cannot write the file: the disk is full");
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += written;
    }
    return std::nullopt;
}

Problem PartFile::truncate(std::int64_t size) {
    if (::ftruncate(fd_, size) != 0) return "cannot resize the file: " + describeError(errno);
    return std::nullopt;
}

Problem PartFile::commit(const std::filesystem::path& target) {
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
        int error = errno;
        discard();
        return "cannot write the file: " + describeError(error);
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        int error = errno;
        discard();
        return "cannot move the file into place: " + describeError(error);
    }
    path_.clear();
    return std::nullopt;
}

void PartFile::discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

}  // namespace quorvane::engine
