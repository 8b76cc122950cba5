// What a part file does the same on every platform: it owns its handle, moves, and closes it
// when it goes. The operating system's side is in part_file_posix.cpp and part_file_win32.cpp.

#include "engine/part_file.h"

#include <utility>

namespace quorvane::engine {

PartFile::PartFile(PartFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {
    other.path_.clear();
}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

PartFile::~PartFile() {
    close();
}

}  // namespace quorvane::engine
