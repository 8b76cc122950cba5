#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

class DownloadFlow : public ProgramTest {
  protected:
    void SetUp() override {
        prepare();
        acceptList(exampleList());
    }
    fs::path target(std::string_view name) {
        return c.g.downloadFolder / platform::pathFromUtf8(name);
    }
    void expectIdle() {
        EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
        EXPECT_TRUE(ui.isDisabled(Control::超级按钮_取消));
        EXPECT_FALSE(ui.isDisabled(Control::组合框1));
        EXPECT_FALSE(ui.isDisabled(Control::超级按钮_打开已下载文件));
        EXPECT_EQ(text(Control::下载进度透明标签), "");
        EXPECT_EQ(ui.position(), 0);
        EXPECT_EQ(ui.trayTip(), "单击打开Quorvane下载器");
        EXPECT_FALSE(c.g.downloadRunning);
    }
};

TEST_F(DownloadFlow, TickHandsTheFirstPairToTheDownloaderWithItsSettings) {
    chooseAndStart(2);
    tick();
    ASSERT_EQ(downloader.starts.size(), 1u);
    const TransferSettings& s = downloader.starts[0];
    EXPECT_EQ(s.sourceAddress, "http://mirror3.test/dl/client.part1.rar");
    EXPECT_EQ(platform::pathFromUtf8(s.targetPath), target("Quorvane客户端.part1.rar"));
    EXPECT_EQ(s.connectionCount, 10);
    EXPECT_EQ(s.field1, 4096);
    EXPECT_EQ(s.ftpUser, "anonymous");
    EXPECT_EQ(s.ftpPassword.size(), 17u);
    EXPECT_EQ(downloader.configureCalls, 1);
    EXPECT_TRUE(ui.isDisabled(Control::超级按钮_接收));
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_取消));
    EXPECT_TRUE(ui.isDisabled(Control::组合框1));
    EXPECT_TRUE(ui.isDisabled(Control::编辑框2));
    EXPECT_TRUE(ui.isDisabled(Control::超级按钮_打开已下载文件));

    tick();
    EXPECT_EQ(downloader.starts.size(), 1u) << "one file at a time";
}

TEST_F(DownloadFlow, ListedSha256IsFoundForAFileUnderAChineseName) {
    const std::string sha256(64, 'a');
    acceptList(
        "[Down]\nDown=True\n[Files]\nNum=1\n[Name]\nName1=Q\n[Add]\nAdd1=http://m/dl/补丁.rar\n"
        "[Sha256]\n补丁.rar=" +
        sha256 + "\n");
    chooseAndStart(0);
    tick();
    ASSERT_EQ(downloader.starts.size(), 1u);
    EXPECT_EQ(downloader.starts[0].sourceAddress, "http://m/dl/%B2%B9%B6%A1.rar");
    EXPECT_EQ(downloader.starts[0].field16, sha256);
}

TEST_F(DownloadFlow, NothingStartsWhileTheQueueIsBuiltOrWhenItIsAllDone) {
    chooseAndStart(0);
    c.g.queueBuilding = true;
    tick();
    EXPECT_TRUE(downloader.starts.empty());
    c.g.queueBuilding = false;
    c.g.queueSources[0].clear();
    c.g.queueTargets[0].clear();
    tick();
    EXPECT_TRUE(downloader.starts.empty());
    EXPECT_TRUE(c.g.queueSources.empty());
    EXPECT_TRUE(c.g.queueTargets.empty());
}

TEST_F(DownloadFlow, QueueOutOfStepStartsNothing) {
    chooseAndStart(0);
    c.g.queueTargets.push_back("extra");
    tick();
    EXPECT_TRUE(downloader.starts.empty());
}

TEST_F(DownloadFlow, BlanksAroundASourceAreNotHandedOverButTheFileStillFinishes) {
    chooseAndStart(0);
    c.g.queueSources[0] = "  " + c.g.queueSources[0] + " ";
    tick();
    EXPECT_EQ(downloader.starts[0].sourceAddress, "http://mirror1.test/dl/client.rar");
    downloader.ended();
    EXPECT_TRUE(c.g.queueSources.empty()) << "the queued pair was marked finished";
    EXPECT_EQ(ui.messageBoxes().size(), 1u);
}

TEST_F(DownloadFlow, SingleConnectionEntryIsDownloadedOverOneConnection) {
    chooseAndStart(1);
    tick();
    EXPECT_EQ(downloader.starts[0].connectionCount, 1);
}

TEST_F(DownloadFlow, FreeSpaceIsCheckedOnTheDownloadFoldersVolume) {
    struct Row {
        std::int64_t freeBytes;
        std::int64_t size;
        bool refused;
    };
    const std::int64_t fiveGiB = std::int64_t{5} << 30;
    for (const Row& row : {Row{fiveGiB, fiveGiB, true}, Row{fiveGiB + 1, fiveGiB, false},
                           Row{fiveGiB - 1, fiveGiB, true}, Row{1, 0, false}}) {
        c.g.queueSources.clear();
        c.g.queueTargets.clear();
        downloader.stops = 0;
        chooseAndStart(0);
        tick();
        system.setFreeSpace(row.freeBytes);
        downloader.sizeKnown(row.size);
        EXPECT_EQ(system.freeSpaceAskedFor(), c.g.downloadFolder);
        EXPECT_EQ(c.g.currentFileSize, row.size);
        EXPECT_EQ(downloader.stops, row.refused ? 1 : 0) << row.freeBytes << " for " << row.size;
        EXPECT_EQ(c.g.queueSources.empty(), row.refused);
        downloader.ended(row.refused ? DownloadOutcome::stopped : DownloadOutcome::completed);
    }
    const auto boxes = ui.messageBoxes();
    const auto refusals = std::count_if(boxes.begin(), boxes.end(), [](const auto& box) {
        return box.title == "磁盘可用空间不足" && box.flags == kInformation &&
               box.text == "磁盘可用空间不足，暂时无法下载文件，请清理磁盘后再试！";
    });
    EXPECT_EQ(refusals, 2);
}

TEST_F(DownloadFlow, RefusedForSpaceThePartialFileIsDeletedAndTheWindowIdles) {
    chooseAndStart(2);
    tick();
    system.setFreeSpace(100);
    downloader.sizeKnown(1000);
    EXPECT_EQ(text(Control::解压哪个文件透明标签), "");
    std::ofstream(target("Quorvane客户端.part1.rar")) << "partial";
    downloader.ended(DownloadOutcome::stopped);
    EXPECT_FALSE(fs::exists(target("Quorvane客户端.part1.rar")));
    expectIdle();
    tick();
    EXPECT_EQ(downloader.starts.size(), 1u) << "the rest of the queue was dropped";
}

TEST_F(DownloadFlow, TwoPartArchivePromptsOnceAfterPartTwo) {
    chooseAndStart(2);
    tick();
    downloader.ended();
    EXPECT_TRUE(ui.messageBoxes().empty());
    EXPECT_EQ(text(Control::当前文件透明标签), "正在下载第2个文件，共2个文件");
    expectIdle();

    tick();
    ASSERT_EQ(downloader.starts.size(), 2u);
    EXPECT_EQ(downloader.starts[1].sourceAddress, "http://mirror3.test/dl/client.part2.rar");
    ui.queueAnswer(MessageBoxAnswer::yes);
    downloader.ended();

    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "下载已完成");
    EXPECT_EQ(boxes[0].flags, kYesNoQuestion);
    EXPECT_EQ(
        boxes[0].text,
        "下载已完成，要打开保存文件的文件夹吗？\r\n\r\n请解压缩这个文件：Quorvane客户端.part1.rar");
    EXPECT_EQ(text(Control::解压哪个文件透明标签), "请解压缩这个文件：Quorvane客户端.part1.rar");
    EXPECT_EQ(system.openedFolders(), std::vector<fs::path>{c.g.downloadFolder});
    EXPECT_TRUE(c.g.queueSources.empty());
    expectIdle();
}

TEST_F(DownloadFlow, AnsweringNoOpensNothingButTheButtonStillDoes) {
    chooseAndStart(0);
    tick();
    downloader.ended();
    EXPECT_TRUE(system.openedFolders().empty());
    program.openDownloadFolder();
    EXPECT_EQ(system.openedFolders(), std::vector<fs::path>{c.g.downloadFolder});
}

TEST_F(DownloadFlow, OpenFolderButtonDoesNothingWhileDisabled) {
    ui.setDisabled(Control::超级按钮_打开已下载文件, true);
    program.openDownloadFolder();
    EXPECT_TRUE(system.openedFolders().empty());
}

TEST_F(DownloadFlow, FailedTransferIsReportedAsAFailureNotACompletion) {
    chooseAndStart(2);
    tick();
    std::ofstream(target("Quorvane客户端.part1.rar")) << "partial";
    downloader.ended(DownloadOutcome::failed, "HTTP 404");

    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "下载失败");
    EXPECT_EQ(boxes[0].flags, kInformation);
    EXPECT_NE(boxes[0].text.find("HTTP 404"), std::string::npos);
    EXPECT_EQ(boxes[0].text.find("下载已完成"), std::string::npos);
    EXPECT_FALSE(fs::exists(target("Quorvane客户端.part1.rar")));
    EXPECT_EQ(text(Control::解压哪个文件透明标签), "");
    EXPECT_TRUE(c.g.queueSources.empty());
    expectIdle();
    tick();
    EXPECT_EQ(downloader.starts.size(), 1u) << "part two is not fetched after part one failed";
}

TEST_F(DownloadFlow, EndOfADownloadAppliesTheChosenEntrysCountAgain) {
    chooseAndStart(1);
    tick();
    downloader.ended();
    EXPECT_EQ(text(Control::编辑框2), "1");
    EXPECT_TRUE(ui.isDisabled(Control::编辑框2));
}

TEST_F(DownloadFlow, ConnectionCountIsReadAgainForEveryFile) {
    chooseAndStart(2);
    tick();
    downloader.ended();
    ui.setText(Control::编辑框2, "3");
    tick();
    EXPECT_EQ(downloader.starts[1].connectionCount, 3);
}

}  // namespace
}  // namespace quorvane::test
