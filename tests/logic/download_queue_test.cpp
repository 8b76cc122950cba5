#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

class DownloadQueue : public ProgramTest {
  protected:
    // A list with one entry of the given name and address, chosen and started.
    void startEntry(const std::string& name, const std::string& address) {
        prepare();
        acceptList("[Down]\nDown=True\n[Files]\nNum=1\n[Name]\nName1=" + name +
                   "\n[Add]\nAdd1=" + address + "\n");
        chooseAndStart(0);
    }
    std::vector<std::string> targetNames() {
        std::vector<std::string> names;
        for (const fs::path& target : c.g.queueTargets) {
            EXPECT_EQ(target.parent_path(), c.g.downloadFolder) << target;
            names.push_back(platform::utf8FromPath(target.filename()));
        }
        return names;
    }
};

struct NamingRow {
    const char* name;
    const char* address;
    std::vector<std::string> sources;
    std::vector<std::string> targets;
};

TEST_F(DownloadQueue, EntriesBecomeSourcesAndLocalNames) {
    const std::vector<NamingRow> rows = {
        {"Quorvane客户端(网通下载)",
         "http://m/dl/client.rar",
         {"http://m/dl/client.rar"},
         {"Quorvane客户端.rar"}},
        {"Quorvane客户端(电信下载)",
         "http://m/dl/client.part2.rar",
         {"http://m/dl/client.part1.rar", "http://m/dl/client.part2.rar"},
         {"Quorvane客户端.part1.rar", "Quorvane客户端.part2.rar"}},
        {"Quorvane客户端第一部分(电信下载)",
         "ftp://m/dl/client.part1.rar",
         {"ftp://m/dl/client.part1.rar", "ftp://m/dl/client.part2.rar"},
         {"Quorvane客户端.part1.rar", "Quorvane客户端.part2.rar"}},
        {"Q(联通下载)",
         "http://m/dl/client.PART1.rar",
         {"http://m/dl/client.PART1.rar", "http://m/dl/client.part2.rar"},
         {"Q.PART1.rar", "Q.part2.rar"}},
        {"Q", "http://m/a.part1.b/client.rar", {"http://m/a.part1.b/client.rar"}, {"Q.rar"}},
        {"Q",
         "http://m/x.part1.y/client.part1.rar",
         {"http://m/x.part1.y/client.part1.rar", "http://m/x.part2.y/client.part2.rar"},
         {"Q.part1.rar", "Q.part2.rar"}},
        {"Quorvane客户端", "https://m/dl/client", {"https://m/dl/client"}, {"Quorvane客户端"}},
        {"(网通下载)", "http://m/dl/client.rar", {"http://m/dl/client.rar"}, {"rar"}},
        {"Q(网通下载)(联通下载)(电信下载)(网通下载)",
         "http://m/c.tar.gz",
         {"http://m/c.tar.gz"},
         {"Q.tar.gz"}},
        {"Q", "  http://m/dl/c.rar  ", {"http://m/dl/c.rar"}, {"Q.rar"}},
        {"Q", "http://m/dl/client.rar.", {"http://m/dl/client.rar."}, {"Q.rar"}},
        // The address keeps the list's GBK bytes, percent-encoded; the local name shows them.
        {"Q",
         "http://m/dl/补丁.简体版.part1.rar",
         {"http://m/dl/%B2%B9%B6%A1.%BC%F2%CC%E5%B0%E6.part1.rar",
          "http://m/dl/%B2%B9%B6%A1.%BC%F2%CC%E5%B0%E6.part2.rar"},
         {"Q.简体版.part1.rar", "Q.简体版.part2.rar"}},
        {"Q",
         "http://m/a b/c\"d%B2%B9.简.rar",
         {"http://m/a%20b/c%22d%B2%B9.%BC%F2.rar"},
         {"Q.简.rar"}},
    };
    for (const NamingRow& row : rows) {
        c.g.queueSources.clear();
        c.g.queueTargets.clear();
        startEntry(row.name, row.address);
        EXPECT_EQ(c.g.queueSources, row.sources) << row.address;
        EXPECT_EQ(targetNames(), row.targets) << row.address;
        EXPECT_FALSE(c.g.queueBuilding);
    }
}

TEST_F(DownloadQueue, AddressesWithoutAFileNameOrOfOtherSchemesAreRefused) {
    for (const char* address : {"", "http://m/dl/", "client.rar", "file:///etc/passwd",
                                "javascript:alert(1)/x.rar", "smb://m/share/x.rar", "http://"}) {
        startEntry("Q", address);
        EXPECT_TRUE(c.g.queueSources.empty()) << address;
        EXPECT_EQ(text(Control::解压哪个文件透明标签), "") << address;
    }
}

TEST_F(DownloadQueue, HostileNamesStayOnePlainFileInsideTheDownloadFolder) {
    struct Row {
        const char* name;
        const char* expected;
    };
    for (const Row& row :
         {Row{"../../etc/passwd", "etcpasswd.rar"}, Row{"../../逃逸", "逃逸.rar"},
          Row{"..\\..\\Windows\\evil", "Windowsevil.rar"}, Row{"a<b>c:d\"e|f?g*h", "abcdefgh.rar"},
          Row{"con", "_con.rar"}, Row{"LPT9(网通下载)", "_LPT9.rar"}, Row{"Aux", "_Aux.rar"},
          Row{"COM10", "COM10.rar"}, Row{"tab\there\x01\x7f", "tabhere.rar"},
          Row{"evil\u202Erar.exe", "evilrar.exe.rar"}, Row{"名字", "名字.rar"}}) {
        c.g.queueSources.clear();
        c.g.queueTargets.clear();
        startEntry(row.name, "http://m/dl/client.rar");
        EXPECT_EQ(targetNames(), std::vector<std::string>{row.expected}) << row.name;
    }
}

TEST_F(DownloadQueue, NamesThatLeaveNothingUsableAreRefused) {
    for (const char* server : {"http://m/dl/...", "http://m/dl/.", "http://m/dl/. ."}) {
        startEntry("", server);
        EXPECT_TRUE(c.g.queueSources.empty()) << server;
    }
}

TEST_F(DownloadQueue, QueuedSourcesAreNotQueuedAgain) {
    startEntry("Q", "http://m/dl/client.part1.rar");
    program.composeDownloadQueue();
    EXPECT_EQ(c.g.queueSources.size(), 2u);
    EXPECT_EQ(c.g.queueTargets.size(), 2u);
}

TEST_F(DownloadQueue, StartPreparesTheDownloadFolderAgain) {
    prepare();
    acceptList(exampleList());
    const fs::path folder = c.g.downloadFolder;
    fs::remove(folder);  // the user deleted it after start-up
    chooseAndStart(0);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(targetNames(), std::vector<std::string>{"Quorvane客户端.rar"});
}

TEST_F(DownloadQueue, DisabledStartButtonDoesNothing) {
    prepare();
    acceptList(exampleList());
    ui.setDisabled(Control::超级按钮_接收, true);
    program.composeDownloadQueue();
    EXPECT_TRUE(c.g.queueSources.empty());
}

TEST_F(DownloadQueue, HintNamesPartOneOfAnArchive) {
    prepare();
    acceptList(exampleList());
    chooseAndStart(2);
    EXPECT_EQ(text(Control::解压哪个文件透明标签),
              "下载完成后，请解压缩这个文件：Quorvane客户端.part1.rar");
}

TEST_F(DownloadQueue, OldFilesUnderTheTargetNamesAreDeleted) {
    prepare();
    acceptList(exampleList());
    const fs::path old = c.g.downloadFolder / platform::pathFromUtf8("Quorvane客户端.part2.rar");
    std::ofstream(old) << "old";
    chooseAndStart(2);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(targetNames(),
              (std::vector<std::string>{"Quorvane客户端.part1.rar", "Quorvane客户端.part2.rar"}));
}

TEST_F(DownloadQueue, TargetsTakenByAFileHeldOpenOrAFolderGetTheLatestPrefixOnEveryTarget) {
    for (const bool folder : {false, true}) {
        prepare();
        acceptList(exampleList());
        const fs::path taken =
            c.g.downloadFolder / platform::pathFromUtf8("Quorvane客户端.part2.rar");
        if (folder) {
            fs::create_directory(taken);
        } else {
            std::ofstream(taken) << "in use";
            system.holdOpen(taken);
        }
        chooseAndStart(2);
        EXPECT_TRUE(fs::exists(taken));
        EXPECT_EQ(targetNames(), (std::vector<std::string>{"最新Quorvane客户端.part1.rar",
                                                           "最新Quorvane客户端.part2.rar"}))
            << (folder ? "folder" : "file held open");
        EXPECT_EQ(text(Control::解压哪个文件透明标签),
                  "下载完成后，请解压缩这个文件：最新Quorvane客户端.part1.rar");
        c.g.queueSources.clear();
        c.g.queueTargets.clear();
        fs::remove_all(taken);
    }
}

TEST_F(DownloadQueue, AfterThreeFailedRenamingsTheHintStaysEmptyAndTheQueueStands) {
    prepare();
    acceptList(exampleList());
    std::string prefix;
    for (int pass = 0; pass <= 3; ++pass) {
        const fs::path held =
            c.g.downloadFolder / platform::pathFromUtf8(prefix + "Quorvane客户端.rar");
        std::ofstream(held) << "in use";
        system.holdOpen(held);
        prefix += "最新";
    }
    chooseAndStart(0);
    EXPECT_EQ(targetNames(), std::vector<std::string>{"最新最新最新Quorvane客户端.rar"});
    EXPECT_EQ(text(Control::解压哪个文件透明标签), "");
}

}  // namespace
}  // namespace quorvane::test
