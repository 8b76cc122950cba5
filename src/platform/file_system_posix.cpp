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

bool folderExists(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error);
}

// Creates one folder level, like the desktop's own "new folder"; true when the folder is there
// afterwards, also when it existed before.
bool createFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directory(folder, error);
    return folderExists(folder);
}

bool fileExists(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error);
}

bool somethingExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

bool deleteFile(const fs::path& file) {
    if (!fileExists(file)) return false;
    std::error_code error;
    return fs::remove(file, error) && !error;
}

bool writeNewFile(const fs::path& file, std::string_view bytes) {
    FileDescriptor descriptor(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!descriptor.valid()) return false;
    if (writeAll(descriptor.get(), bytes) && descriptor.close()) return true;
    descriptor.close();
    ::unlink(file.c_str());
    return false;
}

std::optional<std::string> readWholeFile(const fs::path& file, std::size_t maxBytes) {
    FileDescriptor descriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!descriptor.valid()) return std::nullopt;
    std::string bytes;
    char buffer[16 * 1024];
    while (true) {
        const ssize_t got = ::read(descriptor.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return bytes;
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace quorvane::platform
