#pragma once

// The contract between the program and its multi-connection downloader: the settings record, the
// operations and the notification. The program drives exactly one instance; one file at a time.

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

// How a transfer ended; carried by notification code 4.
enum class DownloadOutcome : std::int32_t { completed = 0, failed = 1, stopped = 2 };

// Notification codes the program acts on; every other code is ignored.
inline constexpr std::int32_t kSizeKnown = 3;
inline constexpr std::int32_t kTransferEnded = 4;

struct DownloadEvent {
    std::int32_t code = 0;
    std::int64_t totalSize = 0;                            // code 3: bytes
    DownloadOutcome outcome = DownloadOutcome::completed;  // code 4
    std::string reason;                                    // code 4, when failed
    // Code 3: the bytes the file may take on its volume, measured before the downloader reserved
    // any space for it; -1 when the downloader cannot tell.
    std::int64_t room = -1;
};

// Always runs on the window's thread and returns 0.
using EventCallback = std::function<int(const DownloadEvent&)>;

// The settings record, field by field in the record's order. The numbered fields are given their
// meaning by the downloader (see engine_downloader.h).
struct TransferSettings {
    std::int32_t field1 = 0;
    std::string sourceAddress;
    std::string targetPath;  // UTF-8
    std::string ftpUser;
    std::string ftpPassword;
    std::int32_t connectionCount = 0;
    std::int32_t field7 = 0;
    std::int32_t field8 = 0;
    std::int32_t field9 = 0;
    std::int32_t field10 = 0;
    std::int32_t field11 = 0;
    std::int32_t field12 = 0;
    std::int32_t field13 = 0;
    std::int32_t field14 = 0;
    EventCallback eventCallback;
    std::string field16;
    std::int32_t field17 = 0;
    std::string fileTypes;
    std::string field19;
    std::string field20;
};

class Downloader {
  public:
    virtual ~Downloader() = default;

    // Engine-wide tuning, called before every start.
    virtual void ConfigureEngineA(std::int32_t a, std::int32_t b, std::int32_t c) = 0;
    virtual void ConfigureEngineB(std::int32_t a) = 0;

    // Starts fetching settings.sourceAddress into settings.targetPath over
    // settings.connectionCount connections and returns without waiting. News arrives through
    // settings.eventCallback on the window's thread: code 3 at most once, then code 4 exactly
    // once, never before this call has returned.
    virtual void StartDownload(const TransferSettings& settings) = 0;

    // Stops the running transfer; allowed from inside the event callback. Code 4 still follows,
    // with outcome stopped unless the transfer had already ended otherwise.
    virtual void StopDownload(const TransferSettings& settingsCopy, std::int32_t mode) = 0;

    // Bytes of the current file received so far. Cheap: called twice per timer tick.
    virtual std::int64_t QueryProgress() = 0;

    // Frees the instance: a running transfer is stopped and its threads are joined. Called once,
    // at program end; no notification is delivered afterwards.
    virtual void ReleaseDownloader() = 0;
};

}  // namespace quorvane
