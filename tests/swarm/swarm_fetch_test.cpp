// quorvane-fetch --torrent as players run it: several processes on 127.0.0.1 that find each
// other through the operator's tracker, with the operator's server as web seed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
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
    return {"-q",       "--torrent",   torrent.string(),     "-o",         ".",
            "--listen", "127.0.0.1:0", "--no-lan-discovery", "--seed-for", "120"};
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
        players.push_back(
            std::make_unique<FetchChild>(folders.back()->path(), peerArguments(torrentFile)));
    }
    const bool finished = waitForFiles(files, std::chrono::seconds(90));
    for (auto& player : players) player->signal(SIGINT);
    std::int64_t fromPeers = 0, uploaded = 0;
    for (std::size_t i = 0; i < players.size(); ++i) {
        const FetchFinished end = players[i]->wait();
        EXPECT_EQ(end.status, 0) << end.out << end.err;
        EXPECT_EQ(jsonText(end.out, "outcome"), "completed") << end.out;
        // Every player takes part: one that the others cannot reach would take the whole
        // file from the web seed.
        EXPECT_GT(jsonNumber(end.out, "fromPeers"), 0) << "player " << i << ": " << end.out;
        EXPECT_GT(jsonNumber(end.out, "uploaded"), 0) << "player " << i << ": " << end.out;
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

// One player, the web seeds alone: what each test below starts from.
std::vector<std::string> alone(const std::filesystem::path& torrent) {
    return {"-q", "--torrent", torrent.string(), "-o", ".", "--no-peers", "--stall-seconds", "20"};
}

TEST(SwarmFetch, AKilledDownloadResumesFromWhatIsOnDisk) {
    const std::int64_t size = 6 * kMiB;
    ScratchFolder operatorFolder, player;
    TestHttpServer webSeed;
    webSeed.servePattern("/dl/client.rar", size, throttledTo(1024 * kKiB));
    const auto torrentFile = operatorFolder / "client.rar.torrent";
    writeFile(torrentFile, patternTorrent(operatorFolder.path(), "client.rar", size,
                                          {webSeed.url("/dl/client.rar")}, ""));
    auto arguments = alone(torrentFile);
    arguments.insert(arguments.end(), {"--save-every", "200"});
    {
        FetchChild first(player.path(), arguments);
        // Killed once a record of some megabytes is on disk, without a chance to save more.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline && webSeed.bodyBytesSent() < 3 * kMiB) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        first.signal(SIGKILL);
        EXPECT_EQ(first.wait().status, -1);
    }
    EXPECT_EQ(listing(player.path()),
              (std::vector<std::string>{".client.rar.part", ".client.rar.srec"}));
    webSeed.servePattern("/dl/client.rar", size);
    const auto sentBefore = webSeed.bodyBytesSent();
    FetchChild second(player.path(), arguments);
    const FetchFinished end = second.wait();
    EXPECT_EQ(end.status, 0) << end.out << end.err;
    EXPECT_GT(jsonNumber(end.out, "resumed"), 1 * kMiB) << end.out;
    EXPECT_LT(webSeed.bodyBytesSent() - sentBefore, size - kMiB) << "only the rest was fetched";
    expectOnlyThePattern(player.path(), "client.rar", size);
    webSeed.releaseStalls();
}

// Peers are strangers and so, as far as a piece's hash goes, is every web seed: a server that
// answers with the wrong bytes costs time, never the file.
TEST(SwarmFetch, AWebSeedThatLiesDoesNotCorruptTheFile) {
    const std::int64_t size = 2 * kMiB + 3;
    ScratchFolder operatorFolder, player;
    TestHttpServer honest, liar;
    honest.servePattern("/dl/client.rar", size, throttledTo(2 * kMiB));
    Faults lies;
    lies.shiftRange = 4096;  // the bytes of another place in the file
    liar.servePattern("/dl/client.rar", size, lies);
    const auto torrentFile = operatorFolder / "client.rar.torrent";
    writeFile(torrentFile,
              patternTorrent(operatorFolder.path(), "client.rar", size,
                             {liar.url("/dl/client.rar"), honest.url("/dl/client.rar")}, ""));
    FetchChild fetch(player.path(), alone(torrentFile));
    const FetchFinished end = fetch.wait();
    EXPECT_EQ(end.status, 0) << end.out << end.err;
    EXPECT_GT(liar.bodyBytesSent(), 0) << "the liar was asked";
    expectOnlyThePattern(player.path(), "client.rar", size);
}

// A libtorrent peer in Python that seeds a spoiled copy (bad_peer.py), and what it last told.
class BadPeer {
  public:
    BadPeer(const std::filesystem::path& torrent, const std::filesystem::path& folder)
        : status_(statusFolder_ / "status") {
        const std::string torrentPath = torrent.string(), folderPath = folder.string(),
                          statusPath = status_.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::execl("/usr/bin/python3", "python3", QUORVANE_BAD_PEER_PATH, torrentPath.c_str(),
                    folderPath.c_str(), statusPath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~BadPeer() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    struct Status {
        bool ready = false;
        std::int64_t uploaded = 0;
        int connected = 0;
        int dropped = 0;  // connections that ended
    };
    Status status() const {
        Status status;
        std::istringstream in(contentsOf(status_));
        std::string first;
        status.ready = (in >> first) && first == "ready" &&
                       (in >> status.uploaded >> status.connected >> status.dropped);
        return status;
    }

  private:
    ScratchFolder statusFolder_;
    std::filesystem::path status_;
    pid_t pid_ = -1;
};

// Only pieces whose hashes match are kept, and a peer that sends bad ones is dropped for good,
// long before the download is over; the server's pieces make up for what it spoiled.
TEST(SwarmFetch, APeerThatSendsBadPiecesIsBannedAndTheFileComesOutRight) {
    const std::int64_t size = 2 * kMiB + 7;
    ScratchFolder seedFolder, player;
    TestHttpServer webSeed;
    webSeed.servePattern("/dl/client.rar", size, throttledTo(256 * kKiB));
    const int trackerPort = freeLoopbackPort();
    const std::string announce = "http://127.0.0.1:" + std::to_string(trackerPort) + "/announce";
    const std::string torrent = patternTorrent(seedFolder.path(), "client.rar", size,
                                               {webSeed.url("/dl/client.rar")}, announce);
    Tracker tracker({torrent}, trackerPort);
    ASSERT_TRUE(tracker.running());
    const auto torrentFile = seedFolder / "client.rar.torrent";
    writeFile(torrentFile, torrent);
    BadPeer liar(torrentFile, seedFolder.path());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!liar.status().ready && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(liar.status().ready) << "the spoiled copy is shared and announced";

    FetchChild fetch(player.path(), {"-q", "--torrent", torrentFile.string(), "-o", ".", "--listen",
                                     "127.0.0.1:0", "--no-lan-discovery"});
    // While the download runs: connected, then cut off and never taken back.
    bool droppedWhileDownloading = false, reconnected = false;
    std::string seen;  // the liar's connections as they changed
    while (!std::filesystem::exists(player / "client.rar") &&
           std::chrono::steady_clock::now() < deadline + std::chrono::seconds(60)) {
        const auto now = liar.status();
        if (seen.empty() || seen.back() != static_cast<char>('0' + now.connected))
            seen += static_cast<char>('0' + now.connected);
        // It sent something, so a connection came; and none is left.
        if (now.uploaded > 0 && now.dropped > 0 && now.connected == 0) {
            droppedWhileDownloading = true;
        }
        if (droppedWhileDownloading && now.connected > 0) reconnected = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const FetchFinished end = fetch.wait();
    EXPECT_EQ(end.status, 0) << end.out << end.err;
    expectOnlyThePattern(player.path(), "client.rar", size);
    const auto last = liar.status();
    EXPECT_GT(last.uploaded, 0) << "the liar was asked for pieces";
    EXPECT_TRUE(droppedWhileDownloading)
        << "uploaded " << last.uploaded << ", connections " << seen;
    EXPECT_FALSE(reconnected) << seen;
    EXPECT_LT(last.uploaded, size / 2) << "it was not asked again and again";
    webSeed.releaseStalls();
}

// Two players in a network namespace of the test's own, with multicast on its loopback: one
// shares a complete copy from `sharerAddress`, one fetches it from `playerAddress` (both on the
// loopback, with a /24), with no tracker and no web seed in the torrent: only LAN discovery can
// bring them together. Returns the fetching player's JSON line, empty when namespaces are not
// available.
std::string swarmOfTwoInANamespace(const std::string& sharerAddress,
                                   const std::string& playerAddress,
                                   const std::string& sharerOptions, std::int64_t size,
                                   const std::filesystem::path& playerFolder) {
    if (std::system("unshare -rn true > /dev/null 2>&1") != 0) return {};
    ScratchFolder operatorFolder, sharer, output;
    const auto torrentFile = operatorFolder / "client.rar.torrent";
    writeFile(torrentFile, patternTorrent(operatorFolder.path(), "client.rar", size, {}, ""));
    writeFile(sharer / ".client.rar.part", patternBytes(size));
    // The paths are the test's own scratch folders: no quotes in them.
    const std::string fetch =
        std::string(QUORVANE_FETCH_PATH) + " -q --torrent \"" + torrentFile.string() + "\" -o . ";
    std::string inside = "ip link set lo up multicast on && ip route add 224.0.0.0/4 dev lo && ";
    for (const auto& address : {sharerAddress, playerAddress}) {
        if (address != "127.0.0.1") inside += "ip addr add " + address + "/24 dev lo && ";
    }
    inside += "(cd \"" + sharer.path().string() + "\" && exec " + fetch + "--listen " +
              sharerAddress + ":0 --seed-for 60 " + sharerOptions + " >/dev/null) & cd \"" +
              playerFolder.string() + "\" && " + fetch + "--listen " + playerAddress +
              ":0 --stall-seconds 30 >\"" + (output / "out").string() +
              "\"; status=$?; kill $!; wait; exit $status";
    const std::string command = "unshare -rn sh -c '" + inside + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return contentsOf(output / "out");
}

double secondsOf(const std::string& json) {
    const std::string key = "\"seconds\":";
    const auto at = json.find(key);
    return at == std::string::npos ? -1 : std::atof(json.c_str() + at + key.size());
}

// Players on one LAN find each other without a tracker.
TEST(SwarmFetch, PlayersOnTheLanFindEachOtherWithoutATracker) {
    const std::int64_t size = 3 * kMiB + 1;
    ScratchFolder player;
    const std::string out =
        swarmOfTwoInANamespace("127.0.0.1", "127.0.0.1", "", size, player.path());
    if (out.empty() && !HasFailure()) GTEST_SKIP() << "no user and network namespaces here";
    EXPECT_EQ(jsonText(out, "outcome"), "completed") << out;
    EXPECT_EQ(jsonNumber(out, "fromPeers"), size) << out;
    expectOnlyThePattern(player.path(), "client.rar", size);
}

// The upload cap holds for peers outside the LAN (addresses of the documentation's public
// range, inside the namespace only) and spares the ones on it.
TEST(SwarmFetch, TheUploadCapHoldsForPeersOutsideTheLanAndSparesTheLan) {
    const std::int64_t size = 3 * kMiB;
    const std::int64_t cap = 512 * kKiB;
    const double atTheCap = static_cast<double>(size) / static_cast<double>(cap);  // 6 s
    ScratchFolder far, near;
    const std::string capped = swarmOfTwoInANamespace("198.51.100.1", "198.51.100.2",
                                                      "--upload-limit 512", size, far.path());
    if (capped.empty() && !HasFailure()) GTEST_SKIP() << "no user and network namespaces here";
    const std::string spared =
        swarmOfTwoInANamespace("10.9.0.1", "10.9.0.2", "--upload-limit 512", size, near.path());
    for (const auto* out : {&capped, &spared}) {
        EXPECT_EQ(jsonText(*out, "outcome"), "completed") << *out;
        EXPECT_EQ(jsonNumber(*out, "fromPeers"), size) << *out;
    }
    expectOnlyThePattern(far.path(), "client.rar", size, "outside the LAN");
    expectOnlyThePattern(near.path(), "client.rar", size, "on the LAN");
    // Loose: a first second's allowance, and a loaded machine for the fast one.
    EXPECT_GT(secondsOf(capped), 0.6 * atTheCap) << capped;
    EXPECT_LT(secondsOf(spared), 0.6 * atTheCap) << spared;
}

// A client of another make, transmission-cli, in a configuration of its own that stays on
// 127.0.0.1: no DHT, no LAN discovery, no port mapping.
class Transmission {
  public:
    // verify: check what the folder holds first (a seeder's copy); without it transmission-cli
    // starts from nothing.
    Transmission(const std::filesystem::path& torrent, const std::filesystem::path& folder,
                 bool verify) {
        const int port = freeLoopbackPort();
        writeFile(config_ / "settings.json",
                  "{\"dht-enabled\": false, \"lpd-enabled\": false, \"pex-enabled\": false,"
                  " \"utp-enabled\": false, \"port-forwarding-enabled\": false,"
                  " \"blocklist-enabled\": false, \"bind-address-ipv4\": \"127.0.0.1\","
                  " \"bind-address-ipv6\": \"::1\", \"rename-partial-files\": true,"
                  " \"peer-port\": " +
                      std::to_string(port) + "}");
        const std::string configPath = config_.path().string(), folderPath = folder.string(),
                          torrentPath = torrent.string(), portText = std::to_string(port);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::freopen("/dev/null", "w", stderr);
            ::execlp("transmission-cli", "transmission-cli", "-g", configPath.c_str(), "-w",
                     folderPath.c_str(), "-p", portText.c_str(), "-M", verify ? "-v" : "-M",
                     torrentPath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Transmission() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

  private:
    ScratchFolder config_;
    pid_t pid_ = -1;
};

bool waitForPattern(const std::filesystem::path& file, std::int64_t size,
                    std::chrono::seconds budget) {
    const std::string want = sha256Of(patternBytes(size));
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        if (std::filesystem::file_size(file, error) == static_cast<std::uintmax_t>(size) &&
            sha256OfFile(file) == want) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// Waits until the tracker knows more than `before` peers of the torrent, at most the budget.
bool waitForPeers(const Tracker& tracker, const std::string& torrent, int before,
                  std::chrono::seconds budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (std::chrono::steady_clock::now() < deadline) {
        if (tracker.peersOf(torrent) > before) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Both ways, with no web seed: every byte comes from the other client. Debian's Transmission
// (3.00) cannot read hybrid torrents, so this swarm's torrent is a v1 one, made by mktorrent.
// Transmission takes no peer on 127.0.0.1 from a tracker (only ones that call it), so it
// announces first each time and quorvane-fetch, told of it by the tracker, connects to it.
TEST(SwarmFetch, TradesWithTransmissionBothWays) {
    const std::int64_t size = 3 * kMiB + 11;
    ScratchFolder operatorFolder;
    const int trackerPort = freeLoopbackPort();
    const std::string announce = "http://127.0.0.1:" + std::to_string(trackerPort) + "/announce";
    writeFile(operatorFolder / "client.rar", patternBytes(size));
    const auto torrentFile = operatorFolder / "client.rar.torrent";
    const std::string make = "cd '" + operatorFolder.path().string() + "' && mktorrent -l 16 -a " +
                             announce + " -o client.rar.torrent client.rar > /dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string torrent = fileText(torrentFile);
    Tracker tracker({torrent}, trackerPort);
    ASSERT_TRUE(tracker.running());
    std::vector<std::string> arguments = {
        "-q",         "--torrent", torrentFile.string(), "-o",
        ".",          "--listen",  "127.0.0.1:0",        "--no-lan-discovery",
        "--seed-for", "60",        "--stall-seconds",    "60"};
    {
        // transmission-cli seeds the operator's copy; quorvane-fetch downloads it.
        Transmission seeder(torrentFile, operatorFolder.path(), true);
        ASSERT_TRUE(waitForPeers(tracker, torrent, 0, std::chrono::seconds(30)));
        ScratchFolder player;
        FetchChild fetch(player.path(), arguments);
        EXPECT_TRUE(waitForPattern(player / "client.rar", size, std::chrono::seconds(60)));
        fetch.signal(SIGINT);
        const FetchFinished end = fetch.wait();
        EXPECT_EQ(end.status, 0) << end.out << end.err;
        EXPECT_EQ(jsonNumber(end.out, "fromPeers"), size) << end.out;
    }
    {
        // quorvane-fetch shares a complete copy it finds on disk; transmission-cli downloads.
        ScratchFolder sharer, other;
        const int before = tracker.peersOf(torrent);
        Transmission downloader(torrentFile, other.path(), false);
        ASSERT_TRUE(waitForPeers(tracker, torrent, before, std::chrono::seconds(30)));
        writeFile(sharer / ".client.rar.part", patternBytes(size));
        FetchChild fetch(sharer.path(), arguments);
        EXPECT_TRUE(waitForPattern(other / "client.rar", size, std::chrono::seconds(60)));
        fetch.signal(SIGINT);
        const FetchFinished end = fetch.wait();
        EXPECT_EQ(end.status, 0) << end.out << end.err;
        EXPECT_GE(jsonNumber(end.out, "uploaded"), size) << end.out;
        expectOnlyThePattern(sharer.path(), "client.rar", size);
    }
}

}  // namespace
}  // namespace quorvane::testing
