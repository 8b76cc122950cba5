#include "platform/file_system.h"

#include "platform/file_descriptor_posix.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>

namespace quorvane::platform {

namespace fs = std::filesystem;

namespace {

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

fs::path programFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return fs::current_path(error);
    return program.parent_path();
}

bool writeNewFile(const fs::path& file, std::string_view bytes) {
    FileDescriptor descriptor(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!descriptor.valid()) return false;
    if (writeAll(descriptor.get(), bytes) && descriptor.close()) return true;
    descriptor.close();
    ::unlink(file.c_str());
    return false;
}

}  // namespace quorvane::platform
