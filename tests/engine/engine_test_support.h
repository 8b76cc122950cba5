#pragma once

// Helpers for the engine's tests: a scratch folder, file digests, a listener that lets a test wait
// for a job's end, and an engine bench that runs one job to its end in a single call.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "support/test_http_server.h"

namespace quorvane::testing {

// Names in the tests are UTF-8, as the program's are; a narrow string alone would be read in
// the system's code page on Windows.
std::filesystem::path utf8Path(std::string_view utf8);
std::string utf8Of(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const {
        return path_ / utf8Path(name);
    }

  private:
    std::filesystem::path path_;
};

// Names in the folder (UTF-8), sorted.
std::vector<std::string> listing(const std::filesystem::path& folder);
std::string sha256OfFile(const std::filesystem::path& file);
// The whole file; empty when it cannot be read.
std::string fileText(const std::filesystem::path& file);
std::string sha256Of(const std::string& bytes);

// Records what the engine tells; waits with a time budget.
class RecordingListener : public engine::Listener {
  public:
    void onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t room) override;
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

// A server that sends no faster than this, so that a job is still running when the test acts.
Faults throttledTo(std::int64_t bytesPerSecond);

// A loopback port that was free a moment ago, so nothing listens there; 0 when none was found.
int freeLoopbackPort();

// What a download test sets up: a scratch folder and an engine that reports to a recording
// listener. Members are destroyed in reverse, so the engine ends its jobs before the folder goes.
struct EngineBench {
    struct Run {
        engine::JobHandle job;
        std::optional<engine::JobReport> report;  // empty when the job did not end in time
    };

    // Starts the job and waits for its end.
    Run runToEnd(const engine::JobOptions& options,
                 std::chrono::seconds budget = std::chrono::seconds(30));
    // Fetches url into folder/name with the quick tuning, and waits for the end.
    Run download(const std::string& url, const std::string& name, int connections,
                 std::chrono::seconds budget = std::chrono::seconds(30));

    ScratchFolder folder;
    RecordingListener listener;
    engine::Engine engine{listener};
};

// Expects the folder to hold nothing but `name`, and that file to be exactly patternBytes(size).
// `context` names the case in a failure message.
void expectOnlyThePattern(const std::filesystem::path& folder, const std::string& name,
                          std::int64_t size, const std::string& context = {});

// Expects a failed job with a reason a person can read that mentions `reasonPart`, and an empty
// folder: a failure leaves nothing behind.
void expectFailedLeavingNothing(const engine::JobReport& report,
                                const std::filesystem::path& folder, const std::string& reasonPart,
                                const std::string& context = {});

}  // namespace quorvane::testing
