#pragma once

// The file a job writes into: a hidden, exclusively created temporary file beside the target, so
// that the target's name never holds a partial file. It is renamed onto the target when the job
// completes and removed in every other case.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace quorvane::engine {

// Empty when all went well, otherwise why not, for a person to read.
using Problem = std::optional<std::string>;

class PartFile {
  public:
    // Creates ".<target name>.<random>.part" in the target's folder (see partFileName); never an
    // existing file.
    static std::optional<PartFile> createBeside(const std::filesystem::path& target,
                                                std::string& whyNot);

    PartFile(PartFile&& other) noexcept;
    PartFile& operator=(PartFile&& other) noexcept;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile();  // removes the file unless committed

    // Reserves the blocks of a file of this size where the file system can. Only a full disk is
    // reported; other refusals are harmless.
    Problem reserve(std::int64_t size);
    Problem writeAt(std::int64_t offset, std::span<const char> bytes);
    // Cuts the file back to this size (after a restart from the beginning).
    Problem truncate(std::int64_t size);
    // Closes the file and renames it onto the target, replacing an existing file.
    Problem commit(const std::filesystem::path& target);
    void discard();

    const std::filesystem::path& path() const { return path_; }

  private:
    PartFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace quorvane::engine
