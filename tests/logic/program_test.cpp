#include <gtest/gtest.h>

#include <chrono>

#include "platform/file_system.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

TEST_F(ProgramTest, StartUpPutsTheIconUpWithItsTipAndEmptyQueues) {
    program.onWindowCreated();
    EXPECT_TRUE(ui.trayIconShown());
    EXPECT_EQ(ui.trayTip(), "单击打开Quorvane下载器");
    EXPECT_TRUE(c.g.queueSources.empty());
    EXPECT_TRUE(c.g.queueTargets.empty());
    EXPECT_EQ(c.g.downloadFolder, system.programFolder() / platform::pathFromUtf8("下载的文件"));
    EXPECT_EQ(c.g.innerPassword.size(), 77u);
    EXPECT_EQ(c.g.outerPassword.size(), 75u);
    EXPECT_EQ(c.g.innerAlgorithm, 2);
    EXPECT_EQ(c.g.outerAlgorithm, 1);
    // The settings record is ready before any start, without a callback yet.
    EXPECT_EQ(c.g.transferSettings.ftpUser, "anonymous");
    EXPECT_EQ(c.g.transferSettings.fileTypes, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
    EXPECT_FALSE(c.g.transferSettings.eventCallback);
    program.shutdown();
}

TEST(ProgramLifetime, DownloaderIsReleasedExactlyOnceHoweverTheProgramEnds) {
    TestSystem system;
    FakeDownloader downloader;
    {
        FakeControls ui;
        Program program(ui, downloader, system);
        program.releaseGlobals();
        program.releaseGlobals();
    }
    EXPECT_EQ(downloader.releases, 1);
    {
        FakeControls ui;
        Program program(ui, downloader, system);
    }
    EXPECT_EQ(downloader.releases, 2);
}

TEST_F(ProgramTest, ClosingWhileTheListIsFetchedEndsWithinSeconds) {
    // The built-in sources answer nothing here, so the worker keeps trying.
    c.retryPauses = {50ms, 100ms};
    program.onWindowCreated();
    ASSERT_TRUE(program.onCloseRequest());
    const auto started = std::chrono::steady_clock::now();
    program.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);  // loose for a loaded machine
}

}  // namespace
}  // namespace quorvane::test
