// quorvane-fetch --torrent as players run it: several processes on 127.0.0.1 that find each
// other through the operator's tracker, with the operator's server as web seed.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "fetch_child.h"
#include "swarm_test_support.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;

// Waits until every file is there (the downloads complete), at most the budget.
bool waitForFiles(const std::vector<std::filesystem::path>& files, std::chrono::seconds budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (std::chrono::steady_clock::now() < deadline) {
        bool all = true;
        for (const auto& file : files) all = all && std::filesystem::exists(file);
        if (all) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<std::string> peerArguments(const std::filesystem::path& torrent) {
    return {"-q", "--torrent", torrent.string(), "-o", ".", "--listen", "127.0.0.1:0",
            "--seed-for", "120"};
}

TEST(SwarmFetch, FourPlayersFinishByteForByteAndTakeMostOfTheLoadOffTheWebSeed) {
    const std::int64_t size = 8 * kMiB;
    ScratchFolder seedFolder;
    TestHttpServer webSeed;
    webSeed.servePattern("/dl/client.rar", size, throttledTo(512 * kKiB));
    // The tracker must know the torrent, and the torrent its tracker: the port is chosen first.
    const int trackerPort = freeLoopbackPort();
    const std::string announce = "http://127.0.0.1:" + std::to_string(trackerPort) + "/announce";
    const std::string torrent = patternTorrent(seedFolder.path(), "client.rar", size,
                                               {webSeed.url("/dl/client.rar")}, announce);
    ASSERT_FALSE(torrent.empty());
    Tracker tracker({torrent}, trackerPort);
    ASSERT_TRUE(tracker.running());
    const auto torrentFile = seedFolder / "client.rar.torrent";
    writeFile(torrentFile, torrent);

    std::vector<std::unique_ptr<ScratchFolder>> folders;
    std::vector<std::unique_ptr<FetchChild>> players;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 4; ++i) {
        folders.push_back(std::make_unique<ScratchFolder>());
        files.push_back(*folders.back() / "client.rar");
        players.push_back(std::make_unique<FetchChild>(folders.back()->path(), peerArguments(torrentFile)));
    }
    const bool finished = waitForFiles(files, std::chrono::seconds(90));
    for (auto& player : players) player->signal(SIGINT);
    std::int64_t fromPeers = 0, uploaded = 0;
    for (std::size_t i = 0; i < players.size(); ++i) {
        const FetchFinished end = players[i]->wait();
        EXPECT_EQ(end.status, 0) << end.out << end.err;
        EXPECT_EQ(jsonText(end.out, "outcome"), "completed") << end.out;
        fromPeers += jsonNumber(end.out, "fromPeers");
        uploaded += jsonNumber(end.out, "uploaded");
        expectOnlyThePattern(folders[i]->path(), "client.rar", size, "player " + std::to_string(i));
    }
    std::printf("web seed sent %.2f× the file; players got %.2f× from each other\n",
                static_cast<double>(webSeed.bodyBytesSent()) / size,
                static_cast<double>(fromPeers) / size);
    ASSERT_TRUE(finished);
    EXPECT_GT(fromPeers, size) << "the players traded pieces";
    EXPECT_GT(uploaded, size);
    EXPECT_LT(webSeed.bodyBytesSent(), 3 * size) << "less than the three players' worth";
    webSeed.releaseStalls();
}

}  // namespace
}  // namespace quorvane::testing
