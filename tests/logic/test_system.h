#pragma once

// The real operating-system services with a temporary program folder, and a few that a test can
// bend: free space, files that cannot be deleted, folders that cannot be written, the file browser.

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "app/system.h"

namespace quorvane::test {

class TestSystem final : public System {
  public:
    // Creates a fresh program folder under the system's temporary folder.
    TestSystem();
    ~TestSystem() override;

    std::filesystem::path programFolder() override { return programFolder_; }
    std::filesystem::path userDownloadsFolder() override { return root_ / "user-downloads"; }
    std::filesystem::path userCacheFolder() override { return root_ / "user-cache"; }
    std::filesystem::path userTempFolder() override { return root_ / "user-temp"; }
    bool deleteFile(const std::filesystem::path& file) override;
    bool writeNewFile(const std::filesystem::path& file, std::string_view bytes) override;
    bool createFolder(const std::filesystem::path& folder) override;
    std::optional<std::int64_t> freeSpaceBytes(const std::filesystem::path& onVolumeOf) override;
    void openFolder(const std::filesystem::path& folder) override;

    const std::filesystem::path& root() const { return root_; }
    // Files whose name is listed cannot be deleted, as if another program held them open.
    void holdOpen(const std::filesystem::path& file);
    // Nothing can be written or created in the folder, as if it were read-only.
    void makeReadOnly(const std::filesystem::path& folder);
    void setFreeSpace(std::optional<std::int64_t> bytes);
    std::optional<std::filesystem::path> freeSpaceAskedFor();
    std::vector<std::filesystem::path> openedFolders();

  private:
    bool readOnly(const std::filesystem::path& path);

    std::filesystem::path root_;
    std::filesystem::path programFolder_;
    std::mutex mutex_;
    std::set<std::filesystem::path> heldOpen_;
    std::set<std::filesystem::path> readOnlyFolders_;
    std::optional<std::int64_t> freeSpace_;
    bool freeSpaceSet_ = false;
    std::optional<std::filesystem::path> freeSpaceAskedFor_;
    std::vector<std::filesystem::path> openedFolders_;
};

}  // namespace quorvane::test
