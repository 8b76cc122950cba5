#include "list_torrents.h"

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>

#include "engine/engine.h"
#include "list_check.h"
#ifdef QUORVANE_HAVE_SWARM
#include "swarm/torrent_maker.h"
#endif

namespace quorvane::checklist {
#ifdef QUORVANE_HAVE_SWARM
namespace {

namespace fs = std::filesystem;

class EndListener : public engine::Listener {
  public:
    void onSizeKnown(engine::JobId, std::int64_t, std::int64_t) override {}
    void onJobEnded(engine::JobId, const engine::JobReport& report) override {
        std::lock_guard lock(mutex_);
        report_ = report;
        ended_.notify_all();
    }
    engine::JobReport wait() {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return report_.has_value(); });
        return *report_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ended_;
    std::optional<engine::JobReport> report_;
};

// The file of the address, under its server name in the folder.
std::optional<std::string> download(const std::string& address, const fs::path& file) {
    EndListener listener;
    engine::Engine engine(listener);
    engine::JobOptions options;
    options.url = address;
    options.target = file;
    options.connections = 4;
    engine.start(options);
    const engine::JobReport report = listener.wait();
    if (report.outcome == engine::Outcome::completed) return std::nullopt;
    return report.reason;
}

}  // namespace
#endif

TorrentOutcome makeListTorrents(const std::vector<std::string>& addresses,
                                const std::string& tracker) {
    TorrentOutcome outcome;
#ifndef QUORVANE_HAVE_SWARM
    if (!addresses.empty()) outcome.problems.push_back("this build makes no torrents");
    (void)tracker;
    return outcome;
#else
    // Every line's address of one file serves the same torrent.
    std::map<std::string, std::vector<std::string> > byName;
    for (const auto& address : addresses) byName[serverName(address)].push_back(address);
    std::error_code error;
    const fs::path scratch = fs::temp_directory_path(error) /
                             ("quorvane-check-list-" + std::to_string(std::random_device{}()));
    if (!fs::create_directory(scratch, error)) {
        outcome.problems.push_back("no scratch folder for the downloads: " + error.message());
        return outcome;
    }
    for (const auto& [name, seeds] : byName) {
        // The name becomes a file here: nothing that could lead elsewhere.
        if (name.empty() || name.starts_with('.') || name.find('\\') != std::string::npos) {
            outcome.problems.push_back(seeds.front() + " has no plain file name for a torrent");
            continue;
        }
        const fs::path file = scratch / fs::path(std::u8string(name.begin(), name.end()));
        if (auto problem = download(seeds.front(), file)) {
            outcome.problems.push_back(seeds.front() + " could not be downloaded: " + *problem);
            continue;
        }
        swarm::TorrentRecipe recipe;
        recipe.file = file;
        recipe.webSeeds = seeds;
        recipe.trackers = {tracker};
        std::string problem;
        auto torrent = swarm::makeTorrent(recipe, problem);
        fs::remove(file, error);
        if (!torrent) {
            outcome.problems.push_back(name + ": " + problem);
            continue;
        }
        std::ofstream out(fs::path(std::u8string(name.begin(), name.end())).concat(".torrent"),
                          std::ios::binary);
        out << *torrent;
        if (!out) {
            outcome.problems.push_back(name + ".torrent could not be written");
            continue;
        }
        outcome.section.emplace_back(name, seeds.front() + ".torrent");
    }
    fs::remove_all(scratch, error);
    return outcome;
#endif
}

}  // namespace quorvane::checklist
