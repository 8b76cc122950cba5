#include "platform/file_system.h"

#include <system_error>

namespace quorvane::platform {

namespace fs = std::filesystem;

fs::path pathFromUtf8(std::string_view utf8) {
    const std::u8string text(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
    return fs::path(text);
}

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
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

}  // namespace quorvane::platform
