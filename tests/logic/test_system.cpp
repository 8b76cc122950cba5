#include "test_system.h"

#include <random>

namespace quorvane::test {

namespace fs = std::filesystem;

TestSystem::TestSystem() {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("quorvane-test-" + std::to_string(random()));
    programFolder_ = root_ / "program";
    fs::create_directories(programFolder_);
    fs::create_directories(root_ / "user-temp");
    fs::create_directories(root_ / "user-cache");
    fs::create_directories(root_ / "user-downloads");
}

TestSystem::~TestSystem() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

bool TestSystem::deleteFile(const fs::path& file) {
    {
        std::lock_guard lock(mutex_);
        if (heldOpen_.count(file)) return false;
    }
    return System::deleteFile(file);
}

bool TestSystem::writeNewFile(const fs::path& file, std::string_view bytes) {
    if (readOnly(file.parent_path())) return false;
    return System::writeNewFile(file, bytes);
}

bool TestSystem::createFolder(const fs::path& folder) {
    if (readOnly(folder.parent_path())) return false;
    return System::createFolder(folder);
}

std::optional<std::int64_t> TestSystem::freeSpaceBytes(const fs::path& onVolumeOf) {
    std::lock_guard lock(mutex_);
    freeSpaceAskedFor_ = onVolumeOf;
    if (freeSpaceSet_) return freeSpace_;
    return std::int64_t{1} << 50;
}

void TestSystem::openFolder(const fs::path& folder) {
    std::lock_guard lock(mutex_);
    openedFolders_.push_back(folder);
}

void TestSystem::holdOpen(const fs::path& file) {
    std::lock_guard lock(mutex_);
    heldOpen_.insert(file);
}

void TestSystem::makeReadOnly(const fs::path& folder) {
    std::lock_guard lock(mutex_);
    readOnlyFolders_.insert(folder);
}

void TestSystem::setFreeSpace(std::optional<std::int64_t> bytes) {
    std::lock_guard lock(mutex_);
    freeSpace_ = bytes;
    freeSpaceSet_ = true;
}

std::optional<fs::path> TestSystem::freeSpaceAskedFor() {
    std::lock_guard lock(mutex_);
    return freeSpaceAskedFor_;
}

std::vector<fs::path> TestSystem::openedFolders() {
    std::lock_guard lock(mutex_);
    return openedFolders_;
}

bool TestSystem::readOnly(const fs::path& path) {
    std::lock_guard lock(mutex_);
    return readOnlyFolders_.count(path) > 0;
}

}  // namespace quorvane::test
