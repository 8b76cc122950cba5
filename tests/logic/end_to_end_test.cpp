#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "app/protected_address.h"
#include "app/startup.h"
#include "demo_content.h"
#include "demo_server.h"
#include "download/engine_downloader.h"
#include "fake_controls.h"
#include "list/list_retrieval.h"
#include "platform/file_system.h"
#include "platform/gbk_text.h"
#include "program_fixture.h"
#include "support/test_http_server.h"
#include "test_ui_thread.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

#include "engine/case_name.h"
#include "engine/engine_test_support.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using quorvane::testing::Faults;
using quorvane::testing::patternBytes;
using quorvane::testing::PrintTo;  // names cases by their question
using quorvane::testing::QuestionName;
using quorvane::testing::TestHttpServer;

constexpr std::int64_t kClientSize = 3 << 20;
constexpr std::int64_t kPartOneSize = (5 << 20) + 17;
constexpr std::int64_t kPartTwoSize = (2 << 20) + 3;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Name and size of every file in the folder, hidden ones included.
std::map<std::string, std::uintmax_t> listing(const fs::path& folder) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[platform::utf8FromPath(entry.path().filename())] = entry.file_size();
    }
    return files;
}

// The demo server on a free port, without throttle, serving until the end of the scope.
class RunningDemoServer {
  public:
    explicit RunningDemoServer(std::int64_t fileBytes)
        : server_({.port = 0, .fileBytes = fileBytes, .bytesPerSecond = 0}) {
        if (server_.bind()) serving_ = std::thread([this] { server_.run(); });
    }
    ~RunningDemoServer() {
        server_.stop();
        if (serving_.joinable()) serving_.join();
    }
    bool running() const { return serving_.joinable(); }
    std::string url(std::string_view path) const {
        return server_.baseAddress() + std::string(path);
    }

  private:
    demo::DemoServer server_;
    std::thread serving_;
};

// The program on a fake window with the real downloader; the test's thread is the window's.
class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ui.attach(&program);
        server.serve("/list", platform::utf8ToGbk(exampleList(server.url("/m1"), server.url("/m2"),
                                                              server.url("/m3"))));
        prepareStartUp(c);
        useListAt(server.url("/list"));
        ASSERT_EQ(ui.items().size(), 3u);
    }
    void useListAt(const std::string& address) {
        const ProtectionKeys keys = programProtectionKeys();
        c.g.protectedSource1 = protectAddress(address, keys);
        c.g.protectedSource2 = c.g.protectedSource3 = c.g.protectedSource1;
        ui.clearItems();
        retrieveList(c);
    }
    void TearDown() override {
        program.shutdown();
        program.releaseGlobals();
    }

    bool runUntil(const std::function<bool()>& done) {
        return window.runUntil(done, [this] {
            program.onMultiFileTimerTick();
            program.showProgress();
        });
    }
    bool runUntilIdle() {
        return runUntil([this] { return c.g.queueSources.empty() && !c.g.downloadRunning; });
    }
    // Starts the first entry from a throttled server; true once its first bytes are in.
    bool startSlowDownload() {
        Faults slow;
        slow.bytesPerSecond = 256 << 10;
        server.servePattern("/m1/dl/client.rar", 16 << 20, slow);
        program.composeDownloadQueue();
        return runUntil([this] { return downloader.QueryProgress() > 0; });
    }
    // Fetches the example list again, with more lines at its end.
    void useListWith(const std::string& extra) {
        server.serve("/list", platform::utf8ToGbk(exampleList(server.url("/m1"), server.url("/m2"),
                                                              server.url("/m3")) +
                                                  extra));
        retrieveList(c);
    }
    fs::path target(std::string_view name) {
        return c.g.downloadFolder / platform::pathFromUtf8(name);
    }

    TestHttpServer server;
    TestSystem system;
    FakeControls ui;
    TestUiThread window;
    EngineDownloader downloader{window};
    Program program{ui, downloader, system};
    Context& c = program.context();
};

TEST_F(EndToEnd, EveryEntryOfTheExampleListDownloadsUnderItsOwnName) {
    server.servePattern("/m1/dl/client.rar", kClientSize);
    server.servePattern("/m2/dl/client.rar", kClientSize);
    server.servePattern("/m3/dl/client.part1.rar", kPartOneSize);
    server.servePattern("/m3/dl/client.part2.rar", kPartTwoSize);

    ui.userChooses(2);
    program.composeDownloadQueue();
    EXPECT_EQ(ui.text(Control::解压哪个文件透明标签),
              "下载完成后，请解压缩这个文件：Quorvane客户端.part1.rar");
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(listing(c.g.downloadFolder),
              (std::map<std::string, std::uintmax_t>{{"Quorvane客户端.part1.rar", kPartOneSize},
                                                     {"Quorvane客户端.part2.rar", kPartTwoSize}}));
    EXPECT_EQ(readFile(target("Quorvane客户端.part1.rar")), patternBytes(kPartOneSize));
    EXPECT_EQ(readFile(target("Quorvane客户端.part2.rar")), patternBytes(kPartTwoSize));
    ASSERT_EQ(ui.messageBoxes().size(), 1u) << "one prompt for both parts";
    EXPECT_EQ(
        ui.messageBoxes()[0].text,
        "下载已完成，要打开保存文件的文件夹吗？\r\n\r\n请解压缩这个文件：Quorvane客户端.part1.rar");

    for (int entry : {0, 1}) {
        ui.userChooses(entry);
        program.composeDownloadQueue();
        ASSERT_TRUE(runUntilIdle());
        EXPECT_EQ(readFile(target("Quorvane客户端.rar")), patternBytes(kClientSize));
    }
    EXPECT_EQ(ui.messageBoxes().size(), 3u);
    EXPECT_EQ(listing(c.g.downloadFolder).size(), 3u) << "nothing else is left in the folder";
}

TEST_F(EndToEnd, FileUnderAGbkNameArrivesByteForByteUnderTheNameTheListShows) {
    constexpr std::int64_t kSize = (1 << 20) + 5;
    RunningDemoServer demo(kSize);
    ASSERT_TRUE(demo.running());
    useListAt(demo.url("/list/1/down.ini"));
    ASSERT_EQ(ui.items().size(), 4u);
    EXPECT_EQ(ui.items()[3], "Quorvane高清补丁(网通下载)");

    ui.userChooses(3);
    program.composeDownloadQueue();
    ASSERT_TRUE(runUntilIdle());
    std::string expected;
    demo::fillClientFileBytes(demo::chineseFileName(), 0, expected, kSize);
    const std::string localName = "Quorvane高清补丁.简体版.rar";
    EXPECT_EQ(listing(c.g.downloadFolder),
              (std::map<std::string, std::uintmax_t>{{localName, kSize}}));
    EXPECT_TRUE(readFile(target(localName)) == expected) << "the bytes differ";
    ASSERT_EQ(ui.messageBoxes().size(), 1u);
    EXPECT_EQ(ui.messageBoxes()[0].title, "下载已完成");
    downloader.ReleaseDownloader();  // its idle connections would hold the server up
}

TEST_F(EndToEnd, ListSavedAsUtf8WithoutAMarkShowsAndSavesTheNamesItHolds) {
    constexpr std::int64_t kSize = 64 << 10;
    server.servePattern("/m3/dl/client.part1.rar", kSize);
    server.servePattern("/m3/dl/client.part2.rar", kSize);
    server.serve("/utf8-list",
                 exampleList(server.url("/m1"), server.url("/m2"), server.url("/m3")));
    useListAt(server.url("/utf8-list"));
    EXPECT_EQ(ui.items(),
              (std::vector<std::string>{"Quorvane客户端(网通下载)", "Quorvane客户端(联通下载)",
                                        "Quorvane客户端(电信下载)"}));

    ui.userChooses(2);
    program.composeDownloadQueue();
    EXPECT_EQ(ui.text(Control::解压哪个文件透明标签),
              "下载完成后，请解压缩这个文件：Quorvane客户端.part1.rar");
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(listing(c.g.downloadFolder),
              (std::map<std::string, std::uintmax_t>{{"Quorvane客户端.part1.rar", kSize},
                                                     {"Quorvane客户端.part2.rar", kSize}}));
}

TEST_F(EndToEnd, CancelInTheMiddleLeavesNoFileBehind) {
    ASSERT_TRUE(startSlowDownload());

    ui.queueAnswer(MessageBoxAnswer::yes);
    program.onCancelClicked();
    server.releaseStalls();
    ASSERT_TRUE(runUntil([this] { return !c.g.downloadRunning; }));
    EXPECT_TRUE(listing(c.g.downloadFolder).empty());
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
    EXPECT_EQ(ui.messageBoxes().size(), 1u) << "only the question, no prompt";
}

TEST_F(EndToEnd, ClosingDuringADownloadRemovesItsFileBeforeTheProgramEnds) {
    ASSERT_TRUE(startSlowDownload());

    ui.queueAnswer(MessageBoxAnswer::yes);
    ASSERT_TRUE(program.onCloseRequest());
    server.releaseStalls();
    program.shutdown();
    program.releaseGlobals();
    EXPECT_TRUE(listing(c.g.downloadFolder).empty());
    EXPECT_FALSE(fs::exists(c.g.listFilePath));
}

TEST_F(EndToEnd, ServerThatFailsGivesTheFailureMessageAndNoFile) {
    server.answerStatus("/m3/dl/client.part1.rar", 404);
    server.servePattern("/m3/dl/client.part2.rar", kPartTwoSize);
    ui.userChooses(2);
    program.composeDownloadQueue();
    ASSERT_TRUE(runUntilIdle());

    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "下载失败");
    EXPECT_NE(boxes[0].text.find("服务器上找不到这个文件"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(listing(c.g.downloadFolder).empty());
    EXPECT_EQ(ui.text(Control::解压哪个文件透明标签), "");
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
}

// A download that fails keeps what has arrived; starting the same entry again fetches the rest.
TEST_F(EndToEnd, AFailedDownloadResumesWhenTheSameEntryIsStartedAgain) {
    ASSERT_TRUE(startSlowDownload());
    ASSERT_TRUE(runUntil([this] { return downloader.QueryProgress() > (4 << 20); }));
    server.answerStatus("/m1/dl/client.rar", 404);
    server.releaseStalls();  // the running bodies break off; the tries find no file
    ASSERT_TRUE(runUntilIdle());
    ASSERT_EQ(ui.messageBoxes().size(), 1u);
    EXPECT_EQ(ui.messageBoxes()[0].title, "下载失败");
    EXPECT_FALSE(fs::exists(target("Quorvane客户端.rar")));

    const std::int64_t size = 16 << 20;
    server.servePattern("/m1/dl/client.rar", size);
    const auto requestsBefore = server.requests().size();
    program.composeDownloadQueue();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_LE(server.distinctBytesAsked("/m1/dl/client.rar", requestsBefore), size - (3 << 20))
        << "resumed, not restarted";
    EXPECT_EQ(listing(c.g.downloadFolder),
              (std::map<std::string, std::uintmax_t>{{"Quorvane客户端.rar", size}}));
    EXPECT_EQ(readFile(target("Quorvane客户端.rar")), patternBytes(size));
}

// The list's [Sha256] section names files by the server's name; both parts of an archive can be
// checked, or only one.
struct ListedHashes {
    const char* question;
    std::string section;
    bool partTwoMissing;      // the server has no part 2
    const char* failureText;  // in the failure box, or nullptr when all is well
};

class ListedSha256 : public EndToEnd, public ::testing::WithParamInterface<ListedHashes> {};

std::string sha256Line(const char* name, std::int64_t size, bool right = true) {
    std::string hex = quorvane::testing::sha256Of(patternBytes(size + (right ? 0 : 1)));
    return std::string(name) + "=" + hex + "\r\n";
}

TEST_P(ListedSha256, OnlyFilesThatPassTheirCheckAreKept) {
    const auto& p = GetParam();
    server.servePattern("/m3/dl/client.part1.rar", kPartOneSize);
    if (p.partTwoMissing) {
        server.answerStatus("/m3/dl/client.part2.rar", 404);
    } else {
        server.servePattern("/m3/dl/client.part2.rar", kPartTwoSize);
    }
    useListWith(p.section);
    ui.userChooses(2);
    program.composeDownloadQueue();
    ASSERT_TRUE(runUntilIdle()) << p.question;

    const auto boxes = ui.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << p.question;
    EXPECT_EQ(readFile(target("Quorvane客户端.part1.rar")), patternBytes(kPartOneSize))
        << p.question;
    if (!p.failureText) {
        EXPECT_EQ(boxes[0].title, "下载已完成") << p.question;
        EXPECT_EQ(readFile(target("Quorvane客户端.part2.rar")), patternBytes(kPartTwoSize))
            << p.question;
        return;
    }
    EXPECT_EQ(boxes[0].title, "下载失败") << p.question;
    EXPECT_NE(boxes[0].text.find(p.failureText), std::string::npos) << boxes[0].text;
    EXPECT_EQ(listing(c.g.downloadFolder).size(), 1u) << p.question << ": only part 1";
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListedSha256,
    ::testing::Values(
        ListedHashes{"are both parts that match kept?",
                     "[Sha256]\r\n" + sha256Line("client.part1.rar", kPartOneSize) +
                         sha256Line("client.part2.rar", kPartTwoSize),
                     false, nullptr},
        ListedHashes{"is a part 2 that does not match removed, with where it came from?",
                     "[Sha256]\r\n" + sha256Line("client.part1.rar", kPartOneSize) +
                         sha256Line("client.part2.rar", kPartTwoSize, false),
                     false, "未通过SHA-256校验，已删除（来源：http://127.0.0.1:"},
        ListedHashes{"is a hash for part 2 only enough?",
                     "[Sha256]\r\n" + sha256Line("client.part2.rar", kPartTwoSize), false, nullptr},
        ListedHashes{"is a hash in upper-case hex accepted?",
                     "[Sha256]\r\nclient.part2.rar=" +
                         [] {
                             std::string hex =
                                 quorvane::testing::sha256Of(patternBytes(kPartTwoSize));
                             for (auto& ch : hex) ch = static_cast<char>(std::toupper(ch));
                             return hex;
                         }() +
                         "\r\n",
                     false, nullptr},
        ListedHashes{"is a malformed value ignored, and said so when the file fails otherwise?",
                     "[Sha256]\r\nclient.part2.rar=12345xyz\r\n", true,
                     "SHA-256值格式不对，未作校验"}),
    QuestionName());

// A small disk is a tmpfs mounted over the download folder, which only Linux can do.
#ifndef _WIN32
// The free-space check must never see the downloader's own reservation: on a small disk with
// room for 1.5 times the file, the file always fits, however late the window hears of its size.
TEST_F(EndToEnd, AFileThatFitsIsNeverRefusedAndOneThatDoesNotIsRefusedBeforeItsBytes) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
    const fs::path folder = c.g.downloadFolder;
    const std::string size = "size=" + std::to_string(kClientSize * 3 / 2 / 1024) + "k";
    ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()), 0);
    struct Unmount {
        fs::path folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{folder};
    server.servePattern("/m1/dl/client.rar", kClientSize);

    for (int round = 0; round < 12; ++round) {
        ui.userChooses(0);
        program.composeDownloadQueue();
        program.onMultiFileTimerTick();
        if (round % 2 == 1) {
            // A busy window: the size notification is handled only after every byte is in.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (downloader.QueryProgress() < kClientSize &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        ASSERT_TRUE(runUntilIdle()) << "round " << round;
        ASSERT_EQ(ui.messageBoxes().back().title, "下载已完成") << "round " << round;
        ASSERT_EQ(readFile(target("Quorvane客户端.rar")), patternBytes(kClientSize));
    }

    const std::int64_t tooLarge = kClientSize * 2;
    server.servePattern("/m2/dl/client.rar", tooLarge);
    const auto sentBefore = server.bodyBytesSent();
    fs::remove(target("Quorvane客户端.rar"));
    ui.userChooses(1);
    program.composeDownloadQueue();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(ui.messageBoxes().back().title, "磁盘可用空间不足");
    EXPECT_TRUE(listing(folder).empty());
    EXPECT_LT(server.bodyBytesSent() - sentBefore, tooLarge / 2);
}

#endif

}  // namespace
}  // namespace quorvane::test
