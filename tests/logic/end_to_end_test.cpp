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

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using quorvane::testing::Faults;
using quorvane::testing::patternBytes;
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

}  // namespace
}  // namespace quorvane::test
