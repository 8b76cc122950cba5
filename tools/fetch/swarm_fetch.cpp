#include "swarm_fetch.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>

#include "console.h"
#include "engine/part_file.h"
#include "fetch_report.h"
#include "platform/http_read.h"
#include "swarm/session.h"
#include "swarm/torrent_check.h"

namespace quorvane::fetch {
namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Keeps the end report for the main thread and wakes it at once.
class WaitingListener : public swarm::Listener {
  public:
    void onSizeKnown(swarm::JobId, std::int64_t, std::int64_t) override {}
    void onJobEnded(swarm::JobId, const swarm::JobReport& report) override {
        std::lock_guard lock(mutex_);
        report_ = report;
        changed_.notify_all();
    }
    bool waitForEnd(std::chrono::milliseconds period) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, period, [this] { return report_.has_value(); });
    }
    swarm::JobReport report() const {
        std::lock_guard lock(mutex_);
        return *report_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<swarm::JobReport> report_;
};

// The .torrent from a file or from the network, by the same bounds either way.
std::optional<std::string> readTorrent(const std::string& where, std::string& problem) {
    std::string bytes;
    if (where.starts_with("http://") || where.starts_with("https://")) {
        const std::atomic<bool> never{false};
        platform::HttpReadLimits limits;
        limits.maxBodyBytes = swarm::kLargestTorrent;
        bytes = platform::httpRead(where, never, limits);
    } else if (auto text = engine::readSmallFile(pathFromUtf8(where), swarm::kLargestTorrent)) {
        bytes = std::move(*text);
    }
    if (bytes.empty()) {
        problem = "the torrent could not be read: " + where;
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::filesystem::path> targetOf(const Arguments& arguments, const std::string& name) {
    std::error_code error;
    if (arguments.serverName) return pathFromUtf8(name);
    const auto output = pathFromUtf8(arguments.output);
    if (std::filesystem::is_directory(output, error)) return output / pathFromUtf8(name);
    return output;
}

swarm::PeerSettings peerSettingsOf(const Arguments& arguments) {
    swarm::PeerSettings settings;
    settings.peers = arguments.peers;
    settings.uploadLimit = std::int64_t{arguments.uploadLimitKiB} * 1024;
    settings.lanUnlimited = !arguments.capLan;
    settings.localDiscovery = arguments.lanDiscovery;
    if (!arguments.listen.empty()) settings.listenInterfaces = arguments.listen;
    return settings;
}

void showProgress(const swarm::JobProgress& progress, Clock::time_point started,
                  const char* doing) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const auto received = progress.received.load();
    auto line = progressLine(received, progress.totalSize.load(),
                             elapsed > 0 ? static_cast<double>(received) / elapsed : 0);
    std::fprintf(stderr, "\r%-60s %s", line.c_str(), doing);
}

engine::JobReport engineReportOf(const swarm::JobReport& report) {
    engine::JobReport converted;
    converted.outcome = report.outcome;
    converted.failure = report.failure;
    converted.reason = report.reason;
    converted.bytes = report.bytes;
    converted.totalSize = report.totalSize;
    converted.resumedBytes = report.resumedBytes;
    return converted;
}

}  // namespace

int fetchWithPeers(const Arguments& arguments, const std::atomic<int>& interruptingSignal) {
    std::string problem;
    auto torrent = readTorrent(arguments.torrent, problem);
    auto facts = torrent ? swarm::checkTorrent(*torrent, "", problem) : std::nullopt;
    if (!facts) {
        if (!arguments.quiet) std::fprintf(stderr, "quorvane-fetch: %s\n", problem.c_str());
        engine::JobReport report;
        report.failure = engine::FailureKind::badAddress;
        report.reason = problem;
        std::printf("%s\n", jsonReport(report, 0).c_str());
        return exitStatus(report, SIGINT);
    }
    WaitingListener listener;
    std::optional<swarm::Session> session(std::in_place, listener, peerSettingsOf(arguments));
    swarm::JobOptions options;
    options.torrent = std::move(*torrent);
    options.target = *targetOf(arguments, facts->name);
    options.expectedSha256 = arguments.sha256;
    options.stallTimeout = std::chrono::seconds(arguments.stallSeconds);
    options.checkpointInterval = std::chrono::milliseconds(arguments.saveEveryMs);
    options.seedWhenDone = arguments.seedFor > 0;
    const auto started = Clock::now();
    const bool showing = !arguments.quiet && errorsGoToTerminal();
    swarm::JobHandle job = session->start(std::move(options));
    bool stopAsked = false;
    while (!listener.waitForEnd(std::chrono::milliseconds(showing ? 200 : 100))) {
        if (interruptingSignal.load() != 0 && !stopAsked) {
            session->stop(job.id, /*keepForResume=*/true);  // the same command resumes it
            stopAsked = true;
        }
        if (showing) showProgress(*job.progress, started, "");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    swarm::JobReport report = listener.report();
    // Sharing the finished file until the time is up or a signal asks to end.
    if (report.outcome == engine::Outcome::completed) {
        const auto until = Clock::now() + std::chrono::seconds(arguments.seedFor);
        while (Clock::now() < until && interruptingSignal.load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (showing) showProgress(*job.progress, started, "sharing");
        }
        session.reset();  // sharing ends and the last blocks sent are counted
        report.uploaded = job.progress->uploaded.load();
    }
    if (showing) std::fprintf(stderr, "\n");
    engine::JobReport converted = engineReportOf(report);
    const int signal = interruptingSignal.load();
    if (report.outcome == engine::Outcome::stopped && converted.reason.empty()) {
        converted.reason = signal == SIGINT ? "interrupted by Ctrl-C" : "interrupted by a signal";
    }
    if (report.outcome != engine::Outcome::completed && !arguments.quiet) {
        std::fprintf(stderr, "quorvane-fetch: %s: %s\n", outcomeName(report.outcome),
                     converted.reason.c_str());
    }
    std::printf("%s\n", withPeerCounts(jsonReport(converted, seconds), report.fromPeers,
                                       report.fromWebSeeds, report.uploaded)
                            .c_str());
    return exitStatus(converted, signal == 0 ? SIGINT : signal);
}

}  // namespace quorvane::fetch
