#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "app/startup.h"
#include "list/list_presentation.h"
#include "platform/file_system.h"

#include "program_fixture.h"

namespace quorvane::test {
namespace {

using ListPresentation = ProgramTest;

TEST_F(ListPresentation, WorkedExampleGivesThreeItemsWithTagsAndWithoutPartWords) {
    acceptList(exampleList());
    EXPECT_EQ(ui.items(),
              (std::vector<std::string>{"Quorvane客户端(网通下载)", "Quorvane客户端(联通下载)",
                                        "Quorvane客户端(电信下载)"}));
    EXPECT_EQ(ui.chosenItem(), 0);
    EXPECT_EQ(text(Control::编辑框A1), "http://mirror1.test/dl/client.rar");
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
}

TEST_F(ListPresentation, ListInUtf8IsShownAsUtf8WithOrWithoutTheMarkAndOthersAsGbkWithTheirBytesSent) {
    acceptListBytes(
        "\xEF\xBB\xBF[Down]\r\nDown=True\r\n[Files]\r\nNum=1\r\n[Name]\r\n"
        "Name1=Quorvane客户端第一部分\xC0\xAF(电信下载)\r\n[Add]\r\nAdd1=http://m/dl/"
        "客户端.完整版.rar\r\n");
    // Bytes that are not UTF-8 (here an overlong "/") are shown as replacement characters.
    EXPECT_EQ(ui.items(), std::vector<std::string>{"Quorvane客户端\uFFFD\uFFFD(电信下载)"});
    EXPECT_EQ(text(Control::编辑框A1),
              "http://m/dl/%E5%AE%A2%E6%88%B7%E7%AB%AF.%E5%AE%8C%E6%95%B4%E7%89%88.rar");
    program.composeDownloadQueue();
    ASSERT_EQ(c.g.queueTargets.size(), 1u);
    EXPECT_EQ(c.g.queueTargets[0].filename(),
              platform::pathFromUtf8("Quorvane客户端\uFFFD\uFFFD.完整版.rar"));

    // Valid UTF-8 without the mark, as many editors save it, reads the same; the part word and the
    // line tag are found in it.
    acceptListBytes(exampleList() +
                    "[Sha256]\r\n; the rest of the file decides nothing: 客户端.完整版.rar\r\n");
    EXPECT_EQ(ui.items(),
              (std::vector<std::string>{"Quorvane客户端(网通下载)", "Quorvane客户端(联通下载)",
                                        "Quorvane客户端(电信下载)"}));
    clearQueues(c);
    ui.userChooses(2);
    program.composeDownloadQueue();
    ASSERT_EQ(c.g.queueTargets.size(), 2u);
    EXPECT_EQ(c.g.queueTargets[1].filename(), platform::pathFromUtf8("Quorvane客户端.part2.rar"));

    // Without the mark and not UTF-8 the list is GBK; bytes that are not GBK still reach the
    // server unchanged.
    acceptListBytes(
        "[Down]\r\nDown=True\r\n[Files]\r\nNum=1\r\n[Name]\r\nName1=\xBF\xCD\xFF\r\n"
        "[Add]\r\nAdd1=http://m/dl/\xBF\xCD\xFF\x80.rar\r\n");
    EXPECT_EQ(ui.items(), std::vector<std::string>{"客\uFFFD"});
    EXPECT_EQ(text(Control::编辑框A1), "http://m/dl/%BF%CD%FF%80.rar");
}

TEST_F(ListPresentation, SingleConnectionRuleFollowsTheChosenEntry) {
    acceptList(exampleList());
    struct Row {
        int index;
        const char* count;
        bool countDisabled;
        const char* address;
    };
    for (const Row& row : {Row{1, "1", true, "http://mirror2.test/dl/client.rar"},
                           Row{2, "10", false, "http://mirror3.test/dl/client.part1.rar"},
                           Row{1, "1", true, "http://mirror2.test/dl/client.rar"},
                           Row{0, "10", false, "http://mirror1.test/dl/client.rar"}}) {
        ui.userChooses(row.index);
        EXPECT_EQ(text(Control::编辑框2), row.count) << "entry " << row.index + 1;
        EXPECT_EQ(ui.isDisabled(Control::编辑框2), row.countDisabled) << "entry " << row.index + 1;
        EXPECT_EQ(text(Control::编辑框A1), row.address);
    }
}

TEST_F(ListPresentation, FirstEntryGetsItsRuleRightAfterTheFill) {
    acceptList(
        "[Down]\nDown=True\n[Files]\nNum=2\n[Name]\nName1=A\nName2=B\n[Add]\n"
        "Add1=http://h/a.rar\nAdd2=http://h/b.rar\n[LineOne]\nNum=1\nLineOne1=1\n");
    EXPECT_EQ(text(Control::编辑框2), "1");
    EXPECT_TRUE(ui.isDisabled(Control::编辑框2));
}

TEST_F(ListPresentation, CountsFromTheListAreReadSafely) {
    struct Row {
        const char* files;
        std::size_t items;
        const char* address;
    };
    int rowNumber = 0;
    for (const Row& row :
         {Row{"", 0, ""}, Row{"Num=0\n", 0, ""}, Row{"Num=abc\n", 0, ""}, Row{"Num=-4\n", 0, ""},
          Row{"Num=3\n", 3, "http://h/one.rar"}, Row{"Num=2147483647\n", 1000, "http://h/one.rar"},
          Row{"Num=99999999999999999999999\n", 1000, "http://h/one.rar"}}) {
        FakeControls fresh;
        Program freshProgram(fresh, downloader, system);
        fresh.attach(&freshProgram);
        Context& fc = freshProgram.context();
        fc.g.listFilePath = system.root() / ("counts-" + std::to_string(++rowNumber) + ".ini");
        {
            std::ofstream out(fc.g.listFilePath, std::ios::binary | std::ios::trunc);
            out << "[Down]\nDown=True\n[Files]\n"
                << row.files << "[Name]\nName1=One\n[Add]\nAdd1=http://h/one.rar\n";
        }
        const auto started = std::chrono::steady_clock::now();
        fillFileChooser(fc);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_EQ(fresh.items().size(), row.items) << row.files;
        EXPECT_EQ(fresh.text(Control::编辑框A1), row.address) << row.files;
        EXPECT_FALSE(fresh.isDisabled(Control::超级按钮_接收));
    }
}

TEST_F(ListPresentation, MissingNamesAndAddressesGiveEmptyItemsAndNoStart) {
    prepare();
    acceptList(
        "[Down]\nDown=True\n[Files]\nNum=3\n[Name]\nName1=Only\n[Add]\nAdd1=http://h/a.rar\n");
    EXPECT_EQ(ui.items(), (std::vector<std::string>{"Only", "", ""}));
    ui.userChooses(2);
    EXPECT_EQ(text(Control::编辑框A1), "");
    program.composeDownloadQueue();
    EXPECT_TRUE(c.g.queueSources.empty());
}

TEST_F(ListPresentation, RulesForUnknownEntriesOrRepeatedRulesChangeNothingElse) {
    acceptList(
        "[Down]\nDown=True\n[Files]\nNum=3\n[Name]\nName1=A\nName2=B\nName3=C\n[Add]\n"
        "[LineOne]\nNum=5\nLineOne1=0\nLineOne2=4\nLineOne3=3\nLineOne4=3\nLineOne5=x\n");
    for (int index : {0, 1}) {
        ui.userChooses(index);
        EXPECT_EQ(text(Control::编辑框2), "10");
    }
    ui.userChooses(2);
    EXPECT_EQ(text(Control::编辑框2), "1");
}

TEST_F(ListPresentation, ConnectionCountIsPulledBackBetweenOneAndTen) {
    struct Row {
        const char* written;
        const char* kept;
    };
    for (const Row& row :
         {Row{"0", "1"}, Row{"-3", "1"}, Row{"abc", "1"}, Row{"", "1"}, Row{"11", "10"},
          Row{"50", "10"}, Row{"100", "10"}, Row{"99999999999999999999", "10"}, Row{"1", "1"},
          Row{"7", "7"}, Row{"10", "10"}}) {
        ui.setText(Control::编辑框2, row.written);
        EXPECT_EQ(text(Control::编辑框2), row.kept) << "written: " << row.written;
    }
}

}  // namespace
}  // namespace quorvane::test
