// quorvane-fetch [-q] [-n CONNECTIONS] (-o FILE|-o FOLDER|-O) URL
//
// Downloads URL with the engine. While it runs on a terminal it shows a progress line; it ends
// with one line of JSON on standard output (outcome, bytes, seconds, connections opened, retries,
// bytes resumed, reason). What an interrupted or failed run fetched is kept for the next run. The
// exit status tells the kind of failure; `quorvane-fetch --help` lists them.

#include <curl/curl.h>
#include <csignal>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "console.h"
#include "engine/engine.h"
#include "fetch_arguments.h"
#include "fetch_report.h"
#ifdef QUORVANE_HAVE_SWARM
#include "swarm_fetch.h"
#endif

namespace {

using quorvane::engine::JobId;
using quorvane::engine::JobReport;
using quorvane::fetch::Arguments;

std::atomic<int> interruptingSignal{0};

// Texts from the command line are UTF-8 (see console.h), also on Windows.
std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Keeps the end report for the main thread and wakes it at once.
class WaitingListener : public quorvane::engine::Listener {
  public:
    void onSizeKnown(JobId, std::int64_t, std::int64_t) override {}
    void onJobEnded(JobId, const JobReport& report) override {
        std::lock_guard lock(mutex_);
        report_ = report;
        ended_ = true;
        changed_.notify_all();
    }
    // True when the job has ended; otherwise returns after the period.
    bool waitForEnd(std::chrono::milliseconds period) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, period, [this] { return ended_; });
    }
    JobReport report() const {
        std::lock_guard lock(mutex_);
        return report_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    JobReport report_;
    bool ended_ = false;
};

// Where the file goes: -o as given, or the server's name in -o's folder or the current one.
std::optional<std::filesystem::path> targetOf(const Arguments& arguments, std::string& problem) {
    std::error_code error;
    const bool intoFolder = arguments.serverName ||
                            std::filesystem::is_directory(pathFromUtf8(arguments.output), error);
    if (!intoFolder) return pathFromUtf8(arguments.output);
    auto name = quorvane::fetch::serverFileName(arguments.url);
    if (!name) {
        problem = "the address has no usable file name; name the file with -o FILE";
        return std::nullopt;
    }
    const std::filesystem::path folder =
        arguments.serverName ? "." : pathFromUtf8(arguments.output);
    return folder / pathFromUtf8(*name);
}

JobReport run(const Arguments& arguments, const std::filesystem::path& target, double& seconds) {
    WaitingListener listener;
    quorvane::engine::Engine engine(listener);
    quorvane::engine::JobOptions options;
    options.url = arguments.url;
    options.target = target;
    options.connections = arguments.connections;
    options.expectedSha256 = arguments.sha256;
    options.tuning.checkpointInterval = std::chrono::milliseconds(arguments.saveEveryMs);
    options.tuning.flushBeforeRename = arguments.flush;
    auto started = std::chrono::steady_clock::now();
    auto job = engine.start(options);
    bool showProgress = !arguments.quiet && quorvane::fetch::errorsGoToTerminal();
    bool stopAsked = false;
    // The signal handler cannot wake the wait, so it looks at the flag every tenth of a second.
    while (!listener.waitForEnd(std::chrono::milliseconds(showProgress ? 200 : 100))) {
        if (interruptingSignal.load() != 0 && !stopAsked) {
            engine.stop(job.id, /*keepForResume=*/true);  // the same command resumes it
            stopAsked = true;
        }
        if (showProgress) {
            double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            auto received = job.progress->received.load();
            auto line = quorvane::fetch::progressLine(received, job.progress->totalSize.load(),
                                                      elapsed > 0 ? received / elapsed : 0);
            std::fprintf(stderr, "\r%-60s", line.c_str());
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (showProgress) std::fprintf(stderr, "\n");
    return listener.report();
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "quorvane-fetch: %s\n%s", problem.c_str(), quorvane::fetch::kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string problem;
    const std::vector<std::string> words = quorvane::fetch::utf8Arguments(argc, argv);
    auto arguments = quorvane::fetch::parseArguments(
        std::vector<std::string_view>(words.begin() + (words.empty() ? 0 : 1), words.end()),
        problem);
    if (!arguments) return usageError(problem);
    if (arguments->action == Arguments::Action::help) {
        std::printf("%s\n%s", quorvane::fetch::kUsage, quorvane::fetch::kHelp);
        return 0;
    }
    if (arguments->action == Arguments::Action::version) {
        std::printf("quorvane-fetch %s (%s)\n", QUORVANE_VERSION, curl_version());
        return 0;
    }
    if (!arguments->torrent.empty()) {
#ifdef QUORVANE_HAVE_SWARM
        quorvane::fetch::setOnInterrupt(interruptingSignal);
        return quorvane::fetch::fetchWithPeers(*arguments, interruptingSignal);
#else
        return usageError("this build downloads without other players: --torrent is not there");
#endif
    }
    auto target = targetOf(*arguments, problem);
    if (!target) return usageError(problem);

    quorvane::fetch::setOnInterrupt(interruptingSignal);
    double seconds = 0;
    JobReport report = run(*arguments, *target, seconds);
    const int signal = interruptingSignal.load();
    if (report.outcome == quorvane::engine::Outcome::stopped && report.reason.empty()) {
        report.reason = signal == SIGINT ? "interrupted by Ctrl-C" : "interrupted by a signal";
    }
    if (report.outcome != quorvane::engine::Outcome::completed && !arguments->quiet) {
        std::fprintf(stderr, "quorvane-fetch: %s: %s\n",
                     quorvane::fetch::outcomeName(report.outcome), report.reason.c_str());
    }
    std::printf("%s\n", quorvane::fetch::jsonReport(report, seconds).c_str());
    return quorvane::fetch::exitStatus(report, signal == 0 ? SIGINT : signal);
}
