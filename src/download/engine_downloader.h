#pragma once

// The program's downloader, built on the engine in src/engine. Notifications are handed to the
// window's thread; the engine's own thread only posts them.
//
// What the numbered settings mean here (the program's values in brackets). A value of 0 or less
// takes the engine's default; others are clamped to a sane range.
//
//   field1           [4096]   smallest piece, in units of 64 bytes (256 KiB): no connection is
//                             given less, so a small file uses fewer connections
//   connectionCount  [1..10]  connections; anything else is clamped into 1..10
//   field7           [0]      recorded, unused
//   field8           [20000]  connect time-out, milliseconds
//   field9           [20000]  low-speed window, milliseconds: a connection below field13 for
//                             this long is stalled and gives its piece back
//   field10          [20000]  longest pause between tries of a piece, milliseconds
//   field11          [1000]   first pause between tries, milliseconds; doubles up to field10
//   field12          [20480]  largest single range request, KiB (20 MiB)
//   field13          [1024]   low-speed limit, bytes per second
//   field14          [0]      recorded, unused
//   field16          [the list's SHA-256 of the file, or empty]  the SHA-256 (64 hex digits,
//                             either case) the finished file must have; the file is kept only
//                             when it matches. A malformed value is ignored, and said so when
//                             the transfer fails.
//   field17, fileTypes, field19, field20: recorded, unused
//   ftpUser, ftpPassword      the FTP login (the program passes the anonymous login)
//
//   ConfigureEngineA(a [20480], b [5000], c [10]):
//                    a: bytes gathered per connection before one write, in units of 16 bytes
//                       (320 KiB); b: recorded, unused; c: tries per piece
//   ConfigureEngineB(a [5000]): libcurl's receive buffer per connection, in units of 16 bytes
//                       (80 000 bytes; the write batch above keeps the writes large)
//   StopDownload's mode: every mode stops the same way, and removes what was fetched.
//
// A transfer that fails after its tries, or that ReleaseDownloader ends, keeps its temporary file
// and record: starting the same source to the same target again resumes it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>

#include "download/downloader.h"
#include "engine/engine.h"
#include "ui/ui_thread.h"

namespace quorvane {

// The engine-wide values of ConfigureEngineA and ConfigureEngineB.
struct EngineConfiguration {
    std::int32_t writeBatchUnits = 20480;
    std::int32_t unused = 5000;
    std::int32_t triesPerPiece = 10;
    std::int32_t receiveBufferUnits = 5000;
};

// Turns the program's settings record into the engine's options, by the table above.
engine::JobOptions jobOptionsFrom(const TransferSettings& settings,
                                  const EngineConfiguration& configuration);

// Removes what interrupted transfers left in the download folder long ago, or for files that are
// complete by now.
void removeDownloadLeftovers(const std::filesystem::path& folder);

class EngineDownloader final : public Downloader, private engine::Listener {
  public:
    explicit EngineDownloader(UiThread& uiThread);
    ~EngineDownloader() override;
    EngineDownloader(const EngineDownloader&) = delete;
    EngineDownloader& operator=(const EngineDownloader&) = delete;

    void ConfigureEngineA(std::int32_t a, std::int32_t b, std::int32_t c) override;
    void ConfigureEngineB(std::int32_t a) override;
    void StartDownload(const TransferSettings& settings) override;
    void StopDownload(const TransferSettings& settingsCopy, std::int32_t mode) override;
    std::int64_t QueryProgress() override;
    void ReleaseDownloader() override;

  private:
    struct Deliveries;

    // engine::Listener, on the engine's thread: post and nothing else.
    void onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t room) override;
    void onJobEnded(engine::JobId job, const engine::JobReport& report) override;

    void assertOnWindowThread() const;

    UiThread& uiThread_;
    std::thread::id windowThread_;
    EngineConfiguration configuration_;
    std::shared_ptr<Deliveries> deliveries_;
    std::unique_ptr<engine::Engine> engine_;
    engine::JobHandle current_;
    bool released_ = false;
};

}  // namespace quorvane
