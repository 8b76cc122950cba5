#pragma once

// The operating-system services the program's logic uses, gathered in one place so that tests can
// replace single ones (free space, a file that cannot be deleted, the file browser). The default
// implementation forwards to src/platform.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

class System {
  public:
    virtual ~System() = default;

    virtual std::filesystem::path programFolder();
    // An installed copy, as the installer marks it; a portable one otherwise.
    virtual bool installedProgram();
    virtual std::filesystem::path userDownloadsFolder();
    virtual std::filesystem::path userCacheFolder();
    virtual std::filesystem::path userTempFolder();

    virtual bool folderExists(const std::filesystem::path& folder);
    virtual bool createFolder(const std::filesystem::path& folder);
    virtual bool fileExists(const std::filesystem::path& file);
    virtual bool somethingExists(const std::filesystem::path& path);
    virtual bool deleteFile(const std::filesystem::path& file);
    virtual bool writeNewFile(const std::filesystem::path& file, std::string_view bytes);

    virtual std::optional<std::int64_t> freeSpaceBytes(const std::filesystem::path& onVolumeOf);
    virtual void openFolder(const std::filesystem::path& folder);

    // Empty on failure; returns soon after cancel is set.
    virtual std::string httpRead(const std::string& url, const std::atomic<bool>& cancel);
};

}  // namespace quorvane
