// The downloader as the program sees it: notifications on the window's thread (here, the test's
// own thread draining a queue), code 4 once per start and only after StartDownload returned.

#include "download/engine_downloader.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>

#include "engine_test_support.h"
#include "queued_ui_thread.h"
#include "support/test_http_server.h"

namespace quorvane {
namespace {

using testing::QueuedUiThread;
using testing::ScratchFolder;
using testing::TestHttpServer;
constexpr std::int64_t kKiB = 1024;

class EngineDownloaderTest : public ::testing::Test {
  protected:
    TransferSettings settingsFor(const std::string& url, const std::string& name) {
        TransferSettings settings;
        settings.field1 = 1024;  // 64 KiB pieces keep the test files small
        settings.sourceAddress = url;
        settings.targetPath = (folder / name).string();
        settings.ftpUser = "anonymous";
        settings.ftpPassword = "player@example.com";
        settings.connectionCount = 4;
        settings.field8 = settings.field9 = settings.field10 = 2000;
        settings.field11 = 20;
        settings.field12 = 1024;
        settings.field13 = 1024;
        settings.field17 = 1;
        settings.fileTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
        settings.eventCallback = [this](const DownloadEvent& event) {
            events.push_back(event);
            if (onEvent) onEvent(event);
            return 0;
        };
        return settings;
    }
    // Runs the queue until `ends` ends have arrived, then a while longer so that a late extra
    // notification would show up too.
    bool waitForEnds(int ends, std::chrono::milliseconds settle = std::chrono::milliseconds(100)) {
        if (!ui.drainUntil([&] { return count(kTransferEnded) == ends; })) return false;
        ui.drainFor(settle);
        return true;
    }
    // A file large and slow enough to be still arriving when the test acts on it.
    void serveSlowly(const std::string& path) {
        server.servePattern(path, 8192 * kKiB, testing::throttledTo(256 * kKiB));
    }
    int count(std::int32_t code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [code](const auto& e) { return e.code == code; }));
    }

    TestHttpServer server;
    ScratchFolder folder;
    QueuedUiThread ui;
    std::vector<DownloadEvent> events;
    std::function<void(const DownloadEvent&)> onEvent;
};

TEST_F(EngineDownloaderTest, ACompletedFileIsAnnouncedBySizeThenEnd) {
    const std::int64_t size = 900 * kKiB + 3;
    server.servePattern("/game.zip", size);
    EngineDownloader downloader(ui);
    downloader.ConfigureEngineA(20480, 5000, 10);
    downloader.ConfigureEngineB(5000);
    downloader.StartDownload(settingsFor(server.url("/game.zip"), "game.zip"));

    ASSERT_TRUE(waitForEnds(1));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, kSizeKnown);
    EXPECT_EQ(events[0].totalSize, size);
    EXPECT_EQ(events[1].outcome, DownloadOutcome::completed) << events[1].reason;
    EXPECT_EQ(downloader.QueryProgress(), size);
    testing::expectOnlyThePattern(folder.path(), "game.zip", size);
    downloader.ReleaseDownloader();
}

TEST_F(EngineDownloaderTest, AnEndIsNeverDeliveredBeforeStartReturnsAndOnlyOnce) {
    EngineDownloader downloader(ui);
    downloader.StartDownload(settingsFor("gopher://127.0.0.1/x", "x.rar"));
    // The job fails at once on the engine's thread, but nothing reaches the program until the
    // window's thread runs its queue.
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(waitForEnds(1, std::chrono::milliseconds(200)));
    EXPECT_EQ(count(kTransferEnded), 1);
    EXPECT_EQ(count(kSizeKnown), 0);
    EXPECT_EQ(events.back().outcome, DownloadOutcome::failed);
    EXPECT_FALSE(events.back().reason.empty());
    EXPECT_TRUE(testing::listing(folder.path()).empty());
}

TEST_F(EngineDownloaderTest, AStopFromInsideTheSizeNotificationEndsAsStopped) {
    serveSlowly("/game.zip");
    EngineDownloader downloader(ui);
    auto settings = settingsFor(server.url("/game.zip"), "game.zip");
    onEvent = [&](const DownloadEvent& event) {
        if (event.code == kSizeKnown) downloader.StopDownload(settings, 2);
    };
    downloader.StartDownload(settings);

    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(count(kSizeKnown), 1);
    EXPECT_EQ(count(kTransferEnded), 1);
    EXPECT_EQ(events.back().outcome, DownloadOutcome::stopped);
    EXPECT_TRUE(testing::listing(folder.path()).empty());
    server.releaseStalls();
}

TEST_F(EngineDownloaderTest, EachStartEndsOnceAlsoWhenTheNextStartsFromTheEnd) {
    server.servePattern("/a.rar", 100 * kKiB);
    EngineDownloader downloader(ui);
    int started = 1;
    auto settings = settingsFor(server.url("/a.rar"), "a.rar");
    onEvent = [&](const DownloadEvent& event) {
        if (event.code == kTransferEnded && started < 3) {
            ++started;
            downloader.StartDownload(settings);
        }
    };
    downloader.StartDownload(settings);
    ASSERT_TRUE(waitForEnds(3));
    EXPECT_EQ(count(kTransferEnded), 3);
    EXPECT_EQ(count(kSizeKnown), 3);
    EXPECT_EQ(testing::listing(folder.path()), std::vector<std::string>{"a.rar"});
}

// Releasing the downloader (the program ends) is an interruption, not the user's cancel: the
// partial file and its record stay hidden beside the target, and the next start resumes.
TEST_F(EngineDownloaderTest, ReleaseWithAJobRunningKeepsItForAResumeAndDeliversNothingMore) {
    const std::int64_t size = 8192 * kKiB;
    serveSlowly("/game.zip");
    {
        EngineDownloader downloader(ui);
        downloader.StartDownload(settingsFor(server.url("/game.zip"), "game.zip"));
        ASSERT_TRUE(ui.drainUntil([&] { return downloader.QueryProgress() > 512 * kKiB; }));
        auto before = events.size();

        downloader.ReleaseDownloader();
        ui.drainFor(std::chrono::milliseconds(200));
        EXPECT_EQ(events.size(), before);
        EXPECT_EQ(count(kTransferEnded), 0);
    }
    EXPECT_EQ(testing::listing(folder.path()),
              (std::vector<std::string>{".game.zip.part", ".game.zip.prec"}));

    server.servePattern("/game.zip", size);  // now at full speed
    const auto requestsBefore = server.requests().size();
    EngineDownloader downloader(ui);
    downloader.StartDownload(settingsFor(server.url("/game.zip"), "game.zip"));
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(events.back().outcome, DownloadOutcome::completed) << events.back().reason;
    testing::expectOnlyThePattern(folder.path(), "game.zip", size);
    EXPECT_LT(server.distinctBytesAsked("/game.zip", requestsBefore), size - 256 * kKiB)
        << "resumed, not restarted";
    server.releaseStalls();
}

TEST(JobOptionsFrom, GivesTheProgramsValuesTheirMeaning) {
    TransferSettings settings;
    settings.field1 = 4096;
    settings.connectionCount = 10;
    settings.field8 = settings.field9 = settings.field10 = 20000;
    settings.field11 = 1000;
    settings.field12 = 20480;
    settings.field13 = 1024;
    settings.field16 = "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08";
    auto options = jobOptionsFrom(settings, EngineConfiguration{});
    EXPECT_EQ(options.expectedSha256,
              "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    settings.field16 = "9f86d0 not a digest";
    EXPECT_EQ(jobOptionsFrom(settings, EngineConfiguration{}).expectedSha256, "")
        << "a malformed value is ignored";
    EXPECT_EQ(options.connections, 10);
    EXPECT_EQ(options.tuning.minPieceSize, 256 * kKiB);
    EXPECT_EQ(options.tuning.largestRequest, 20 * 1024 * kKiB);
    EXPECT_EQ(options.tuning.connectTimeout, std::chrono::milliseconds(20000));
    EXPECT_EQ(options.tuning.lowSpeedWindow, std::chrono::milliseconds(20000));
    EXPECT_EQ(options.tuning.longestRetryPause, std::chrono::milliseconds(20000));
    EXPECT_EQ(options.tuning.firstRetryPause, std::chrono::milliseconds(1000));
    EXPECT_EQ(options.tuning.lowSpeedLimit, 1024);
    EXPECT_EQ(options.tuning.writeBatch, 320u * kKiB);
    EXPECT_EQ(options.tuning.receiveBuffer, 80000);
    EXPECT_EQ(options.tuning.triesPerPiece, 10);
}

TEST(JobOptionsFrom, ClampsWhatIsOutOfRange) {
    struct Row {
        std::int32_t connections;
        int expected;
    };
    for (auto row : {Row{0, 1}, Row{-3, 1}, Row{1, 1}, Row{7, 7}, Row{11, 10}, Row{1000, 10}}) {
        TransferSettings settings;
        settings.connectionCount = row.connections;
        EXPECT_EQ(jobOptionsFrom(settings, {}).connections, row.expected) << row.connections;
    }
    TransferSettings silly;
    silly.field1 = 1;        // 64 bytes: raised to the smallest sensible piece
    silly.field8 = -5;       // not positive: the default
    silly.field11 = 999999;  // beyond the longest pause: held to it
    auto options = jobOptionsFrom(silly, EngineConfiguration{1, 0, 1000, 999999});
    EXPECT_EQ(options.tuning.minPieceSize, 16 * kKiB);
    EXPECT_EQ(options.tuning.connectTimeout, engine::Tuning{}.connectTimeout);
    EXPECT_EQ(options.tuning.firstRetryPause, options.tuning.longestRetryPause);
    EXPECT_EQ(options.tuning.triesPerPiece, 100);
    EXPECT_EQ(options.tuning.receiveBuffer, engine::kLargestReceiveBuffer);
}

}  // namespace
}  // namespace quorvane
