#pragma once

// Owns one POSIX file descriptor and closes it once.

#include <unistd.h>

namespace quorvane::platform {

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }
    // Closes now and tells whether the close succeeded: a delayed write error shows up here.
    bool close() {
        if (descriptor_ < 0) return true;
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result == 0;
    }

  private:
    int descriptor_ = -1;
};

}  // namespace quorvane::platform
