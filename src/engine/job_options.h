#pragma once

// What a caller tells the engine about one job, and what the engine tells back when it ends.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quorvane::engine {

using JobId = std::uint64_t;

// Knobs of one job. The defaults suit a desktop on an ordinary line; tests shorten the times.
struct Tuning {
    std::chrono::milliseconds connectTimeout{20000};
    // A connection slower than lowSpeedLimit bytes/s for lowSpeedWindow is stalled: its piece goes
    // back to be shared out again. libcurl counts the window in whole seconds.
    std::chrono::milliseconds lowSpeedWindow{20000};
    std::int64_t lowSpeedLimit = 1024;
    // Pause before the next try of a piece: doubles after every failure, up to the longest.
    std::chrono::milliseconds firstRetryPause{1000};
    std::chrono::milliseconds longestRetryPause{20000};
    int triesPerPiece = 10;
    // A server that has not answered once since the job began is given up after this long: it
    // refuses or cannot be reached, and waiting longer rarely changes that.
    std::chrono::milliseconds firstAnswerPatience{20000};
    // No piece is split below this size, so small files use fewer connections.
    std::int64_t minPieceSize = 256 * 1024;
    // A connection asks for the rest of its share in one range request, but never for more than
    // this, so that every new round trip costs little and the unrequested rest of a large file
    // stays free for connections that fall idle.
    std::int64_t largestRequest = 20 * 1024 * 1024;
    // An idle connection takes over part of a request that would keep its connection busy for
    // longer than this; the busy connection closes where its request now ends. A connection that
    // would end this much (and half) later than the others together gives its rest back.
    std::chrono::milliseconds takeoverPatience{1000};
    // A first answer that takes longer than this comes over a long path: the other connections
    // are opened meanwhile (each with a HEAD request), so that they are ready to ask for their
    // shares when it tells the size. A server that answers sooner is tried alone first (every
    // server is, with the largest duration).
    std::chrono::milliseconds openOthersAfter{20};
    // Bytes gathered per connection before one write to the file.
    std::size_t writeBatch = 320 * 1024;
    // libcurl's receive buffer per connection. Batching the writes lets it stay small, which keeps
    // ten connections within a few MiB.
    long receiveBuffer = 80000;
    // How often the bytes written so far are flushed and recorded for a resume; 0 keeps no
    // record (the file is then removed whenever the job does not complete).
    std::chrono::milliseconds checkpointInterval{1000};
    // Flush the finished file's data before it takes the target's name, so that after a power cut
    // the name never holds blocks that were never written. Off only to measure what it costs.
    bool flushBeforeRename = true;
    // An extra certificate bundle (PEM) to trust besides the system's; empty for none.
    std::string extraCaFile;
};

struct JobOptions {
    std::string url;  // http, https or ftp
    std::filesystem::path target;
    std::string ftpUser = "anonymous";
    std::string ftpPassword = "guest@example.com";
    int connections = 1;  // 1 to 10
    // When not empty, the SHA-256 the finished file must have (64 hex digits, either case): a file
    // without it never takes the target's name.
    std::string expectedSha256;
    Tuning tuning;
};

enum class Outcome { completed, failed, stopped };

// What ended a failed job, so that a program can word it in its own language.
enum class FailureKind {
    none,
    badAddress,    // not an http, https or ftp address, or no file name
    notFound,      // 404, 410, no such FTP file
    accessDenied,  // 401, 403, login refused
    certificate,   // TLS peer not verified
    tooManyRedirects,
    serverError,         // other error statuses
    serverInconsistent,  // answers that do not match what was asked
    changedOnServer,     // size or validators changed during the download
    network,             // refused, reset, timed out, cut short: retried until the tries ran out
    diskFull,
    fileError,           // the local file could not be created, written or moved into place
    verificationFailed,  // the finished file's SHA-256 is not the one expected
};

struct JobReport {
    Outcome outcome = Outcome::failed;
    std::string reason;  // for a person to read; empty when completed
    FailureKind failure = FailureKind::none;
    std::int64_t bytes = 0;         // bytes in the finished file, or received before the end
    std::int64_t totalSize = -1;    // -1 while unknown
    int connectionsUsed = 0;        // TCP connections opened
    int retries = 0;                // pieces tried again after a transient fault
    std::int64_t resumedBytes = 0;  // bytes an earlier, interrupted job had already fetched
};

// Read from any thread while the job runs.
struct JobProgress {
    std::atomic<std::int64_t> received{0};
    std::atomic<std::int64_t> totalSize{-1};
};

inline constexpr int kMaxConnections = 10;
inline constexpr long kMaxRedirects = 10;
inline constexpr long kLargestReceiveBuffer = 10 * 1024 * 1024;  // libcurl's limit

}  // namespace quorvane::engine
