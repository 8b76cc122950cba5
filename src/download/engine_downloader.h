#pragma once

// The program's downloader: the HTTP engine of src/engine, and where the list gives the file a
// torrent (and the build has libtorrent, and the player has not turned peers off) the swarm of
// src/swarm, with the entry's address as web seed. This is the one place that chooses; when the
// torrent cannot be had or the swarm fails, the same file goes over HTTP, and only a line in the
// log says so. Notifications are handed to the window's thread; the engines' threads only post
// them.
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
//   field19          [the list's torrent address of the file, or empty]  where to fetch the
//                             .torrent that lets other players help (see
//                             src/list/torrent_section.h)
//   field17, fileTypes, field20: recorded, unused
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
#include <functional>
#include <memory>
#include <thread>

#include "download/downloader.h"
#include "download/http_transfers.h"
#include "download/peer_settings.h"
#include "ui/ui_thread.h"

namespace quorvane {

// Removes what interrupted transfers left in the download folder long ago, or for files that are
// complete by now.
void removeDownloadLeftovers(const std::filesystem::path& folder);

// Whether this build can download with other players' help.
bool peersSupported();

class EngineDownloader final : public Downloader, private TransferEvents {
  public:
    explicit EngineDownloader(UiThread& uiThread,
                              PeerOptions peers = peerOptionsFrom(peerSettingsFiles()));
    ~EngineDownloader() override;
    EngineDownloader(const EngineDownloader&) = delete;
    EngineDownloader& operator=(const EngineDownloader&) = delete;

    void ConfigureEngineA(std::int32_t a, std::int32_t b, std::int32_t c) override;
    void ConfigureEngineB(std::int32_t a) override;
    void StartDownload(const TransferSettings& settings) override;
    void StopDownload(const TransferSettings& settingsCopy, std::int32_t mode) override;
    std::int64_t QueryProgress() override;
    void ReleaseDownloader() override;

    // Where the line about a change of engine goes; standard error unless set.
    void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

  private:
    struct Deliveries;
    struct Current {
        Transfers* engine = nullptr;
        TransferId id = 0;
        std::shared_ptr<const std::atomic<std::int64_t>> received;
    };

    // TransferEvents, on the engines' threads: post and nothing else.
    void sizeKnown(const Transfers& from, TransferId id, std::int64_t totalSize,
                   std::int64_t room) override;
    void ended(const Transfers& from, TransferId id, const TransferEnd& end) override;

    Transfers& chooseFor(const TransferSettings& settings);
    void deliverSize(const Transfers* from, TransferId id, std::int64_t totalSize,
                     std::int64_t room);
    void deliverEnd(const Transfers* from, TransferId id, const TransferEnd& end);
    bool fellBackToHttp(const Transfers* from, TransferId id, const TransferEnd& end);
    void assertOnWindowThread() const;

    UiThread& uiThread_;
    std::thread::id windowThread_;
    PeerOptions peers_;
    EngineConfiguration configuration_;
    std::shared_ptr<Deliveries> deliveries_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<Transfers> http_;
    std::unique_ptr<Transfers> swarm_;  // none where the build has no libtorrent
    Current current_;
    bool released_ = false;
};

}  // namespace quorvane
