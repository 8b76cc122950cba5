// quorvane-fetch [-n CONNECTIONS] -o FILE URL
//
// Downloads URL into FILE with the engine. While it runs on a terminal it shows a progress line;
// it ends with one line of JSON on standard output (outcome, bytes, seconds, connections opened,
// retries). Exit status: 0 completed, 1 failed, 2 bad usage, 3 interrupted.

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "engine/engine.h"
#include "fetch_report.h"

namespace {

using quorvane::engine::JobId;
using quorvane::engine::JobReport;

std::atomic<bool> interrupted{false};

struct Arguments {
    int connections = 10;
    std::string output;
    std::string url;
};

std::optional<Arguments> parseArguments(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if ((word == "-n" || word == "-o") && i + 1 < argc) {
            std::string_view value = argv[++i];
            if (word == "-o") {
                arguments.output = value;
                continue;
            }
            auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), arguments.connections);
            if (error != std::errc() || end != value.data() + value.size() ||
                arguments.connections < 1 || arguments.connections > 10) {
                return std::nullopt;
            }
        } else if (arguments.url.empty() && !word.starts_with("-")) {
            arguments.url = word;
        } else {
            return std::nullopt;
        }
    }
    if (arguments.output.empty() || arguments.url.empty()) return std::nullopt;
    return arguments;
}

// Keeps the end report for the main thread and wakes it at once.
class WaitingListener : public quorvane::engine::Listener {
  public:
    void onSizeKnown(JobId, std::int64_t) override {}
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

JobReport run(const Arguments& arguments, double& seconds) {
    WaitingListener listener;
    quorvane::engine::Engine engine(listener);
    quorvane::engine::JobOptions options;
    options.url = arguments.url;
    const std::u8string target(arguments.output.begin(), arguments.output.end());
    options.target = std::filesystem::path(target);
    options.connections = arguments.connections;
    auto started = std::chrono::steady_clock::now();
    auto job = engine.start(options);
    bool onTerminal = quorvane::fetch::errorsGoToTerminal();
    bool stopAsked = false;
    // The signal handler cannot wake the wait, so it looks at the flag every tenth of a second.
    while (!listener.waitForEnd(std::chrono::milliseconds(onTerminal ? 200 : 100))) {
        if (interrupted.load() && !stopAsked) {
            engine.stop(job.id);
            stopAsked = true;
        }
        if (onTerminal) {
            double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            auto received = job.progress->received.load();
            auto line = quorvane::fetch::progressLine(received, job.progress->totalSize.load(),
                                                      elapsed > 0 ? received / elapsed : 0);
            std::fprintf(stderr, "\r%-60s", line.c_str());
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (onTerminal) std::fprintf(stderr, "\n");
    return listener.report();
}

}  // namespace

int main(int argc, char** argv) {
    auto arguments = parseArguments(quorvane::fetch::utf8Arguments(argc, argv));
    if (!arguments) {
        std::fprintf(stderr, "usage: quorvane-fetch [-n CONNECTIONS (1-10)] -o FILE URL\n");
        return 2;
    }
    quorvane::fetch::setOnInterrupt(interrupted);
    double seconds = 0;
    JobReport report = run(*arguments, seconds);
    if (report.outcome != quorvane::engine::Outcome::completed) {
        std::fprintf(stderr, "quorvane-fetch: %s: %s\n",
                     quorvane::fetch::outcomeName(report.outcome), report.reason.c_str());
    }
    std::printf("%s\n", quorvane::fetch::jsonReport(report, seconds).c_str());
    switch (report.outcome) {
        case quorvane::engine::Outcome::completed:
            return 0;
        case quorvane::engine::Outcome::stopped:
            return 3;
        case quorvane::engine::Outcome::failed:
            break;
    }
    return 1;
}
