#pragma once

// A downloader that only records what it is asked to do; the test plays its notifications.

#include <cstdint>
#include <vector>

#include "download/downloader.h"

namespace quorvane::test {

class FakeDownloader final : public Downloader {
  public:
    void ConfigureEngineA(std::int32_t, std::int32_t, std::int32_t) override { ++configureCalls; }
    void ConfigureEngineB(std::int32_t) override {}
    void StartDownload(const TransferSettings& settings) override { starts.push_back(settings); }
    void StopDownload(const TransferSettings&, std::int32_t mode) override {
        ++stops;
        lastStopMode = mode;
    }
    std::int64_t QueryProgress() override { return received; }
    void ReleaseDownloader() override { ++releases; }

    // Delivers a notification for the last started file, as the window's thread would.
    int notify(const DownloadEvent& event) { return starts.back().eventCallback(event); }
    int sizeKnown(std::int64_t size) { return notify({kSizeKnown, size, {}, {}}); }
    int ended(DownloadOutcome outcome = DownloadOutcome::completed, std::string reason = {}) {
        return notify({kTransferEnded, 0, outcome, std::move(reason)});
    }

    std::vector<TransferSettings> starts;
    int configureCalls = 0;
    int stops = 0;
    int lastStopMode = 0;
    int releases = 0;
    std::int64_t received = 0;
};

}  // namespace quorvane::test
