#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

class RunningDownload : public ProgramTest {
  protected:
    void SetUp() override {
        prepare();
        acceptList(exampleList());
        chooseAndStart(2);
        tick();
    }
};

TEST_F(RunningDownload, ProgressLabelBarAndTipFollowTheBytesReceived) {
    const std::int64_t size = std::int64_t{6} << 30;  // beyond 32 bits
    program.showProgress();
    EXPECT_EQ(text(Control::下载进度透明标签), "") << "no size known yet";

    downloader.sizeKnown(size);
    downloader.received = size * 37 / 100;
    program.showProgress();
    EXPECT_EQ(text(Control::下载进度透明标签), "下载已完成：37%");
    EXPECT_EQ(ui.position(), 37);
    EXPECT_EQ(text(Control::当前文件透明标签), "正在下载第1个文件，共2个文件");
    EXPECT_EQ(ui.trayTip(), "正在下载第1个文件，共2个文件\r\n下载已完成：37%");

    const int tipChanges = ui.trayTipChanges();
    program.showProgress();
    EXPECT_EQ(ui.trayTipChanges(), tipChanges) << "the tip changes only with the bar";

    downloader.received = size * 3 / 2;
    program.showProgress();
    EXPECT_EQ(text(Control::下载进度透明标签), "下载已完成：150%");
    EXPECT_EQ(ui.position(), 100);

    // The end puts the start-up tip back; the next file shows no percentage until its own
    // size is known.
    downloader.ended();
    EXPECT_EQ(ui.trayTip(), "单击打开Quorvane下载器");
    tick();
    downloader.received = size / 2;
    program.showProgress();
    EXPECT_EQ(text(Control::下载进度透明标签), "");
    EXPECT_EQ(text(Control::当前文件透明标签), "正在下载第2个文件，共2个文件");
}

TEST_F(ProgramTest, SingleFileTipHoldsOnlyThePercentage) {
    prepare();
    acceptList(exampleList());
    chooseAndStart(0);
    tick();
    downloader.sizeKnown(200);
    downloader.received = 50;
    program.showProgress();
    EXPECT_EQ(text(Control::当前文件透明标签), "");
    EXPECT_EQ(ui.trayTip(), "下载已完成：25%");
}

TEST_F(RunningDownload, IdleWindowIgnoresProgressTicks) {
    downloader.sizeKnown(100);
    downloader.ended(DownloadOutcome::completed);
    downloader.received = 50;
    program.showProgress();
    EXPECT_EQ(text(Control::下载进度透明标签), "");
    EXPECT_EQ(ui.position(), 0);
}

TEST_F(RunningDownload, CancelAsksAndNoLeavesEverythingAlone) {
    downloader.sizeKnown(100);
    downloader.received = 37;
    program.showProgress();
    program.onCancelClicked();
    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "下载已完成：37%，要取消下载吗？");
    EXPECT_EQ(boxes[0].title, "是否取消下载");
    EXPECT_EQ(boxes[0].flags, kYesNoQuestion);
    EXPECT_EQ(downloader.stops, 0);
    EXPECT_EQ(c.g.queueSources.size(), 2u);
}

TEST_F(RunningDownload, CancelWithYesStopsOnceAndTheEndResetsTheWindow) {
    ui.queueAnswer(MessageBoxAnswer::yes);
    program.onCancelClicked();
    EXPECT_EQ(ui.messageBoxes()[0].text, "正在下载中，要取消下载吗？");
    EXPECT_EQ(downloader.stops, 1);
    EXPECT_EQ(downloader.lastStopMode, 2);
    EXPECT_TRUE(c.g.queueSources.empty());
    EXPECT_EQ(text(Control::解压哪个文件透明标签), "");
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_取消)) << "still running until the end arrives";

    ui.queueAnswer(MessageBoxAnswer::yes);
    program.onCancelClicked();
    EXPECT_EQ(ui.messageBoxes().size(), 2u) << "asked again";
    EXPECT_EQ(downloader.stops, 1) << "but nothing more to stop";

    downloader.ended(DownloadOutcome::stopped);
    EXPECT_TRUE(ui.isDisabled(Control::超级按钮_取消));
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
    EXPECT_EQ(ui.messageBoxes().size(), 2u) << "no completion prompt after a stop";

    // The cancel is forgotten when the next download starts: its finished file stays.
    chooseAndStart(0);
    tick();
    const auto finished = platform::pathFromUtf8(downloader.starts.back().targetPath);
    std::ofstream(finished) << "complete";
    downloader.ended();
    EXPECT_TRUE(std::filesystem::exists(finished));
    EXPECT_EQ(ui.messageBoxes().back().title, "下载已完成");
}

TEST_F(RunningDownload, CloseAsksAndNoKeepsTheWindowAndTheDownload) {
    EXPECT_FALSE(program.onCloseRequest());
    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "正在下载文件");
    EXPECT_EQ(boxes[0].text, "正在下载中，要取消下载吗？");
    EXPECT_EQ(downloader.stops, 0);
    EXPECT_TRUE(ui.trayIconShown());
}

TEST_F(RunningDownload, CloseWithYesStopsTheTransferAndEnds) {
    ui.queueAnswer(MessageBoxAnswer::yes);
    EXPECT_TRUE(program.onCloseRequest());
    EXPECT_EQ(downloader.stops, 1);
    EXPECT_FALSE(ui.trayIconShown());
    EXPECT_TRUE(c.stopRequested);
}

TEST_F(RunningDownload, CloseWithYesAndAnEmptyQueueStopsNothing) {
    ui.queueAnswer(MessageBoxAnswer::yes);
    program.onCancelClicked();
    ui.queueAnswer(MessageBoxAnswer::yes);
    EXPECT_TRUE(program.onCloseRequest());
    EXPECT_EQ(downloader.stops, 1);
}

TEST_F(ProgramTest, ClosingWhileIdleOrWhileTheListIsFetchedAsksNothingAndDeletesTheListFile) {
    prepare();
    acceptList(exampleList());
    ASSERT_TRUE(std::filesystem::exists(c.g.listFilePath));
    // While the list is fetched, start and cancel are both disabled: no download runs.
    ui.setDisabled(Control::超级按钮_接收, true);
    ui.setDisabled(Control::超级按钮_取消, true);
    EXPECT_TRUE(program.onCloseRequest());
    EXPECT_TRUE(ui.messageBoxes().empty());
    EXPECT_FALSE(ui.trayIconShown());
    program.shutdown();
    EXPECT_FALSE(std::filesystem::exists(c.g.listFilePath));
}

TEST_F(ProgramTest, TrayClickShowsAndRestoresTheWindow) {
    ui.userHidesWindow();
    ui.setWindowState(WindowState::minimised);
    program.onTrayEvent(TrayEvent::contextMenu);
    EXPECT_EQ(ui.windowState(), WindowState::minimised);
    EXPECT_FALSE(ui.windowShown());
    program.onTrayEvent(TrayEvent::click);
    EXPECT_EQ(ui.windowState(), WindowState::normal);
    EXPECT_TRUE(ui.windowShown());
}

}  // namespace
}  // namespace quorvane::test
