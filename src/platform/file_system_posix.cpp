#include "platform/file_system.h"

#include "platform/file_descriptor_posix.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

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

fs::path nonEmptyEnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return {};
    return fs::path(value);
}

fs::path homeFolder() {
    fs::path home = nonEmptyEnvironmentPath("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return fs::path(found->pw_dir);
    }
    return fs::path("/");
}

// The XDG_DOWNLOAD_DIR line of user-dirs.dirs, the file xdg-user-dir reads. Its documented form
// is XDG_DOWNLOAD_DIR="$HOME/sub/folder" or an absolute path in quotes.
fs::path configuredDownloadsFolder(const fs::path& home) {
    fs::path config = nonEmptyEnvironmentPath("XDG_CONFIG_HOME");
    if (config.empty()) config = home / ".config";
    std::ifstream stream(config / "user-dirs.dirs");
    constexpr std::string_view kPrefix = "XDG_DOWNLOAD_DIR=\"";
    std::string line;
    while (stream && std::getline(stream, line) && line.size() < 4096) {
        if (!line.starts_with(kPrefix) || line.size() < kPrefix.size() + 1 || line.back() != '"') {
            continue;
        }
        const std::string value = line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1);
        if (value.starts_with("$HOME/")) return home / value.substr(6);
        if (value.starts_with('/')) return fs::path(value);
    }
    return {};
}

}  // namespace

fs::path programFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return fs::current_path(error);
    return program.parent_path();
}

fs::path userTempFolder() {
    const fs::path configured = nonEmptyEnvironmentPath("TMPDIR");
    if (configured.is_absolute() && folderExists(configured)) return configured;
    return fs::path("/tmp");
}

fs::path userDownloadsFolder() {
    const fs::path home = homeFolder();
    fs::path folder = configuredDownloadsFolder(home);
    // A configured folder equal to home means "not set up"; keep downloads out of home itself.
    if (folder.empty() || folder == home) folder = home / "Downloads";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
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
