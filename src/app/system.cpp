#include "app/system.h"

#include "platform/file_system.h"
#include "platform/free_space.h"
#include "platform/http_read.h"
#include "platform/installation.h"
#include "platform/open_folder.h"
#include "platform/user_folders.h"

namespace quorvane {

namespace fs = std::filesystem;

fs::path System::programFolder() {
    return platform::programFolder();
}
bool System::installedProgram() {
    return platform::isInstalledProgram(programFolder());
}
fs::path System::userDownloadsFolder() {
    return platform::userDownloadsFolder();
}
fs::path System::userCacheFolder() {
    return platform::userCacheFolder();
}
fs::path System::userTempFolder() {
    return platform::userTempFolder();
}

bool System::folderExists(const fs::path& folder) {
    return platform::folderExists(folder);
}
bool System::createFolder(const fs::path& folder) {
    return platform::createFolder(folder);
}
bool System::fileExists(const fs::path& file) {
    return platform::fileExists(file);
}
bool System::somethingExists(const fs::path& path) {
    return platform::somethingExists(path);
}
bool System::deleteFile(const fs::path& file) {
    return platform::deleteFile(file);
}
bool System::writeNewFile(const fs::path& file, std::string_view bytes) {
    return platform::writeNewFile(file, bytes);
}

std::optional<std::int64_t> System::freeSpaceBytes(const fs::path& onVolumeOf) {
    return platform::freeSpaceBytes(onVolumeOf);
}

void System::openFolder(const fs::path& folder) {
    platform::openFolder(folder);
}

std::string System::httpRead(const std::string& url, const std::atomic<bool>& cancel) {
    return platform::httpRead(url, cancel);
}

}  // namespace quorvane
