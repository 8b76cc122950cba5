#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/file_system.h"

namespace quorvane::platform {

namespace fs = std::filesystem;

namespace {

// The folders of the XDG base-directory rules: a variable counts only when it holds an absolute
// path.
fs::path absoluteEnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value != '/') return {};
    return fs::path(value);
}

fs::path homeFolder() {
    fs::path home = absoluteEnvironmentPath("HOME");
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
    fs::path config = absoluteEnvironmentPath("XDG_CONFIG_HOME");
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

fs::path userDownloadsFolder() {
    const fs::path home = homeFolder();
    fs::path folder = configuredDownloadsFolder(home);
    // A configured folder equal to home means "not set up"; keep downloads out of home itself.
    if (folder.empty() || folder == home) folder = home / "Downloads";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

fs::path userCacheFolder() {
    fs::path folder = absoluteEnvironmentPath("XDG_CACHE_HOME");
    if (folder.empty()) folder = homeFolder() / ".cache";
    std::error_code error;
    // A new cache folder is the user's alone, as the base-directory rules ask.
    if (fs::create_directories(folder, error)) {
        fs::permissions(folder, fs::perms::owner_all, error);
    }
    return folderExists(folder) ? folder : fs::path();
}

fs::path userConfigFolder() {
    fs::path folder = absoluteEnvironmentPath("XDG_CONFIG_HOME");
    if (folder.empty() && !homeFolder().empty()) folder = homeFolder() / ".config";
    return folder;
}

fs::path userTempFolder() {
    const fs::path configured = absoluteEnvironmentPath("TMPDIR");
    if (!configured.empty() && folderExists(configured)) return configured;
    return fs::path("/tmp");
}

}  // namespace quorvane::platform
