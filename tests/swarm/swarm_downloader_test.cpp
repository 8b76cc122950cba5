// The downloader with a torrent entry, as the program drives it: the swarm with the entry's
// address as web seed where the torrent fits, the HTTP engine without the player noticing where
// it does not, and cancel and close as before.

#include <gtest/gtest.h>

#include "download/engine_downloader.h"
#include "engine_test_support.h"
#include "pattern_torrent.h"
#include "queued_ui_thread.h"
#include "swarm/swarm_leftovers.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kSize = 4096 * kKiB + 17;

PeerOptions loopbackPeers() {
    PeerOptions options;
    options.listenInterfaces = "127.0.0.1:0";
    options.localDiscovery = false;  // no multicast leaves the machine
    options.stallTimeout = std::chrono::seconds(3);
    options.torrentPatience = std::chrono::seconds(5);
    return options;
}

class SwarmDownloaderTest : public ::testing::Test {
  protected:
    SwarmDownloaderTest() {
        torrent = patternTorrent(operatorFolder.path(), "client.rar", kSize, {}, "");
        server.serve("/t/client.rar.torrent", torrent);
    }
    TransferSettings settingsFor(const std::string& torrentPath, const std::string& name) {
        TransferSettings settings;
        settings.field1 = 1024;
        settings.sourceAddress = server.url("/dl/client.rar");
        settings.targetPath = utf8Of(folder / name);
        settings.connectionCount = 4;
        settings.field8 = settings.field9 = settings.field10 = 2000;
        settings.field11 = 20;
        settings.field19 = torrentPath.empty() ? "" : server.url(torrentPath);
        settings.eventCallback = [this](const DownloadEvent& event) {
            events.push_back(event);
            return 0;
        };
        return settings;
    }
    std::unique_ptr<EngineDownloader> downloader(PeerOptions options = loopbackPeers()) {
        auto made = std::make_unique<EngineDownloader>(ui, options);
        made->setLog([this](const std::string& line) { log.push_back(line); });
        return made;
    }
    int count(std::int32_t code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [code](const auto& e) { return e.code == code; }));
    }
    bool waitForEnd() {
        return ui.drainUntil([&] { return count(kTransferEnded) == 1; }, std::chrono::seconds(60));
    }
    int torrentRequests() const {
        auto requests = server.requests();
        return static_cast<int>(std::count_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.path.ends_with(".torrent");
        }));
    }

    ScratchFolder operatorFolder;
    std::string torrent;
    TestHttpServer server;
    ScratchFolder folder;
    QueuedUiThread ui;
    std::vector<DownloadEvent> events;
    std::vector<std::string> log;
};

TEST_F(SwarmDownloaderTest, ATorrentThatFitsTheEntryDownloadsWithTheEntryAsWebSeed) {
    server.servePattern("/dl/client.rar", kSize);
    auto made = downloader();
    made->StartDownload(settingsFor("/t/client.rar.torrent", "客户端.rar"));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events.back().outcome, DownloadOutcome::completed) << events.back().reason;
    ASSERT_EQ(count(kSizeKnown), 1);
    EXPECT_EQ(events.front().totalSize, kSize);
    EXPECT_EQ(made->QueryProgress(), kSize);
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(torrentRequests(), 1);
    // libtorrent's web seed asks for ranges, and never for more than the file.
    EXPECT_GT(server.requests().size(), 1u);
    EXPECT_EQ(server.badRangeHeaders(), 0);
    expectOnlyThePattern(folder.path(), "客户端.rar", kSize);
    made->ReleaseDownloader();
    expectOnlyThePattern(folder.path(), "客户端.rar", kSize, "shared until the end, then left");
}

// Whatever keeps the swarm from the file, the same file comes over HTTP, told only in the log.
TEST_F(SwarmDownloaderTest, WhenTheTorrentCannotServeTheEntryTheServerAloneDelivers) {
    server.servePattern("/dl/client.rar", kSize);
    ScratchFolder other;
    server.serve("/t/other.torrent", patternTorrent(other.path(), "other.rar", kSize, {}, ""));
    server.serve("/t/garbage.torrent", "d8:announce");
    server.answerStatus("/t/missing.torrent", 404);
    server.servePattern("/t/huge.torrent", 5 * 1024 * kKiB);
    for (const char* path :
         {"/t/other.torrent", "/t/garbage.torrent", "/t/missing.torrent", "/t/huge.torrent"}) {
        events.clear();
        log.clear();
        auto made = downloader();
        made->StartDownload(settingsFor(path, "client.rar"));
        ASSERT_TRUE(waitForEnd()) << path;
        EXPECT_EQ(events.back().outcome, DownloadOutcome::completed)
            << path << events.back().reason;
        EXPECT_EQ(count(kSizeKnown), 1) << path;
        ASSERT_EQ(log.size(), 1u) << path;
        EXPECT_NE(log[0].find("from the server alone"), std::string::npos) << log[0];
        expectOnlyThePattern(folder.path(), "client.rar", kSize, path);
        std::filesystem::remove(folder / "client.rar");
    }
}

// A swarm that delivers nothing (the web seed refuses, no peers) gives way within its stall time.
TEST_F(SwarmDownloaderTest, ASwarmThatStallsGivesWayToTheServerWithinSeconds) {
    server.servePattern("/dl/client.rar", kSize);
    server.servePattern("/dl/client.rar.ok", kSize);
    auto made = downloader();
    auto settings = settingsFor("/t/client.rar.torrent", "client.rar");
    settings.sourceAddress = server.url("/dl/client.rar");
    server.answerStatus("/dl/client.rar", 503);
    const auto started = std::chrono::steady_clock::now();
    made->StartDownload(settings);
    ASSERT_TRUE(ui.drainUntil([&] { return !log.empty(); }, std::chrono::seconds(30)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    server.servePattern("/dl/client.rar", kSize);  // the server is back for the HTTP engine
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events.back().outcome, DownloadOutcome::completed) << events.back().reason;
    EXPECT_EQ(count(kSizeKnown), 1);
    expectOnlyThePattern(folder.path(), "client.rar", kSize);
}

TEST_F(SwarmDownloaderTest, CancelRemovesThePartialFileAndCloseKeepsItForAResume) {
    server.servePattern("/dl/client.rar", kSize, throttledTo(1024 * kKiB));
    {
        auto made = downloader();
        made->StartDownload(settingsFor("/t/client.rar.torrent", "client.rar"));
        ASSERT_TRUE(ui.drainUntil([&] { return made->QueryProgress() > 256 * kKiB; }));
        made->StopDownload({}, 2);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(events.back().outcome, DownloadOutcome::stopped);
        EXPECT_TRUE(listing(folder.path()).empty()) << listing(folder.path()).front();
    }
    events.clear();
    {
        auto made = downloader();
        made->StartDownload(settingsFor("/t/client.rar.torrent", "client.rar"));
        ASSERT_TRUE(ui.drainUntil([&] { return made->QueryProgress() > 2048 * kKiB; }));
        made->ReleaseDownloader();
        ui.drainFor(std::chrono::milliseconds(200));
        EXPECT_EQ(count(kTransferEnded), 0) << "nothing is told after the end";
    }
    EXPECT_EQ(listing(folder.path()),
              (std::vector<std::string>{".client.rar.part", ".client.rar.srec"}));
    server.servePattern("/dl/client.rar", kSize);
    const auto requestsBefore = server.requests().size();
    auto made = downloader();
    made->StartDownload(settingsFor("/t/client.rar.torrent", "client.rar"));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events.back().outcome, DownloadOutcome::completed) << events.back().reason;
    EXPECT_LT(server.distinctBytesAsked("/dl/client.rar", requestsBefore), kSize - 1024 * kKiB)
        << "resumed";
    made->ReleaseDownloader();
    expectOnlyThePattern(folder.path(), "client.rar", kSize);
    server.releaseStalls();
}

TEST_F(SwarmDownloaderTest, APlayerWhoTurnedPeersOffDownloadsOverHttpAsBefore) {
    server.servePattern("/dl/client.rar", kSize);
    PeerOptions off = loopbackPeers();
    off.enabled = false;
    auto made = downloader(off);
    made->StartDownload(settingsFor("/t/client.rar.torrent", "client.rar"));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(events.back().outcome, DownloadOutcome::completed) << events.back().reason;
    EXPECT_EQ(torrentRequests(), 0);
    EXPECT_TRUE(log.empty());
    expectOnlyThePattern(folder.path(), "client.rar", kSize);
}

// A swarm record never outlives its partial file; nothing else is touched.
TEST(SwarmLeftovers, ARecordWithoutItsPartialFileGoesAndOneWithItStays) {
    ScratchFolder folder;
    for (const char* name : {".a.rar.srec", ".b.rar.part", ".b.rar.srec", ".c.rar.snew", "x.srec"})
        writeFile(folder / name, "bytes");
    std::filesystem::create_directory(folder / ".d.rar.srec");
    removeDownloadLeftovers(folder.path());
    EXPECT_EQ(listing(folder.path()),
              (std::vector<std::string>{".b.rar.part", ".b.rar.srec", ".d.rar.srec", "x.srec"}));
}

// The player's switch: the file beside the program speaks first, key by key; what is not a whole
// number in range is as if it were not there.
TEST(PeerSettings, TheFileBesideTheProgramWinsKeyByKeyAndNonsenseIsIgnored) {
    ScratchFolder beside, config;
    struct Row {
        const char* besideText;
        const char* configText;
        bool enabled;
        std::int64_t uploadLimit;
        bool lanDiscovery = true;
    };
    const Row rows[] = {
        {"", "", true, 1024 * kKiB},
        {"[Peers]\nEnabled=0\n", "[Peers]\nEnabled=1\nUploadLimitKiB=64\n", false, 64 * kKiB},
        {"[peers]\nuploadlimitkib = 0\n", "[Peers]\nEnabled=0\n", false, 0},
        {"[Peers]\nEnabled=yes\nUploadLimitKiB=-5\nLanDiscovery=no\n", "", true, 1024 * kKiB},
        {"[Peers]\nUploadLimitKiB=99999999999\n", "[Peers]\nUploadLimitKiB=2048\n", true,
         2048 * kKiB},
        {"[Peers]\nLanDiscovery=0\n", "[Peers]\nLanDiscovery=1\n", true, 1024 * kKiB, false},
        {"[Peers]\nLanDiscovery=2\n", "[Peers]\nLanDiscovery=0\n", true, 1024 * kKiB, false},
    };
    for (const Row& row : rows) {
        writeFile(beside / "quorvane-downloader.ini", row.besideText);
        writeFile(config / "quorvane-downloader.ini", row.configText);
        const PeerOptions options = peerOptionsFrom(
            {beside / "quorvane-downloader.ini", config / "quorvane-downloader.ini"});
        EXPECT_EQ(options.enabled, row.enabled) << row.besideText << "|" << row.configText;
        EXPECT_EQ(options.uploadLimit, row.uploadLimit) << row.besideText << "|" << row.configText;
        EXPECT_EQ(options.localDiscovery, row.lanDiscovery)
            << row.besideText << "|" << row.configText;
    }
}

}  // namespace
}  // namespace quorvane::testing
