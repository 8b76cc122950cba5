#pragma once

// Helpers for the engine's tests: a scratch folder, file digests, and a listener that lets a
// test wait for a job's end.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace quorvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Names in the folder, sorted.
std::vector<std::string> listing(const std::filesystem::path& folder);
std::string sha256OfFile(const std::filesystem::path& file);
std::string sha256Of(const std::string& bytes);

// Records what the engine tells; waits with a time budget.
class RecordingListener : public engine::Listener {
  public:
    void onSizeKnown(engine::JobId job, std::int64_t totalSize) override;
    void onJobEnded(engine::JobId job, const engine::JobReport& report) override;

    std::optional<engine::JobReport> waitForEnd(
        engine::JobId job, std::chrono::seconds budget = std::chrono::seconds(30));
    // Waits for the size; nothing when the job ended first or the budget ran out.
    std::optional<std::int64_t> waitForSize(engine::JobId job,
                                            std::chrono::seconds budget = std::chrono::seconds(30));
    int sizeEvents(engine::JobId job) const;
    int endEvents(engine::JobId job) const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<engine::JobId, std::int64_t> sizes_;
    std::multimap<engine::JobId, engine::JobReport> ends_;
};

// Short times, so that faults are retried quickly and stalls noticed within about a second.
engine::Tuning quickTuning();

engine::JobOptions optionsFor(const std::string& url, const std::filesystem::path& target,
                              int connections);

}  // namespace quorvane::testing
