#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/protected_address.h"
#include "list/list_retrieval.h"
#include "list_server.h"
#include "platform/gbk_text.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class ListRetrieval : public ProgramTest {
  protected:
    void SetUp() override {
        prepare();
        c.retryPauses = {20ms, 40ms};
        // The program's sources, pointed at this test's server.
        const ProtectionKeys keys = programProtectionKeys();
        c.g.protectedSource1 = protectAddress(server.url("/one"), keys);
        c.g.protectedSource2 = protectAddress(server.url("/two"), keys);
        c.g.protectedSource3 = protectAddress(server.url("/three"), keys);
    }
    std::vector<std::string> statuses() { return ui.textHistory(Control::透明标签1); }
    std::vector<fs::path> listFiles() {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(system.root())) {
            if (entry.path().extension() == ".ini") found.push_back(entry.path());
        }
        return found;
    }

    ListServer server;
    const std::string gbkList = platform::utf8ToGbk(exampleList());
};

TEST_F(ListRetrieval, FirstSourceWithAListIsTheOnlyOneAsked) {
    server.serve("/one", {200, gbkList});
    server.serve("/two", {200, gbkList});
    retrieveList(c);
    EXPECT_EQ(server.hits("/one"), 1);
    EXPECT_EQ(server.hits("/two"), 0);
    EXPECT_EQ(server.hits("/three"), 0);
    EXPECT_EQ(statuses(),
              (std::vector<std::string>{"正在读取文件列表，请稍候！(1)", "请选择要下载的文件："}));
    EXPECT_EQ(ui.items().size(), 3u);
    EXPECT_FALSE(ui.isDisabled(Control::组合框1));
    EXPECT_FALSE(ui.isDisabled(Control::超级按钮_接收));
    EXPECT_EQ(readFile(c.g.listFilePath), gbkList) << "saved byte for byte";
}

TEST_F(ListRetrieval, ErrorPageOrAnswerWithoutTheMarkerPassesToTheNextSource) {
    server.serve("/one", {404, "[Down] but an error"});
    server.serve("/two", {200, "<html>maintenance</html>"});
    server.serve("/three", {200, gbkList});
    retrieveList(c);
    EXPECT_EQ(statuses(), (std::vector<std::string>{
                              "正在读取文件列表，请稍候！(1)", "正在读取文件列表，请稍候！(2)",
                              "正在读取文件列表，请稍候！(3)", "请选择要下载的文件："}));
    EXPECT_EQ(ui.items().size(), 3u);
}

TEST_F(ListRetrieval, WhenAllSourcesFailItKeepsTryingWithPausesAndStopsAtOnce) {
    std::thread worker([this] { retrieveList(c); });
    const auto started = std::chrono::steady_clock::now();
    while (statuses().size() < 7 && std::chrono::steady_clock::now() - started < 10s) {
        std::this_thread::sleep_for(5ms);
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    c.requestStop();
    const auto stopping = std::chrono::steady_clock::now();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);

    const auto seen = statuses();
    ASSERT_GE(seen.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(seen[i], "正在读取文件列表，请稍候！(" + std::to_string(i % 3 + 1) + ")");
    }
    EXPECT_GE(elapsed, 20ms + 40ms) << "two pauses between three passes";
    EXPECT_TRUE(ui.isDisabled(Control::超级按钮_接收));
    EXPECT_TRUE(listFiles().empty());
}

TEST_F(ListRetrieval, PausesBetweenFailedPassesStartAtASecondAndDoubleToHalfAMinute) {
    c.retryPauses = RetryPauses{};  // the program's own
    server.serve("/one", {503, "busy"});
    std::vector<std::chrono::milliseconds> pauses;
    c.retryWait = [&](std::chrono::milliseconds pause) {
        pauses.push_back(pause);
        return pauses.size() < 7;
    };
    retrieveList(c);
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{1s, 2s, 4s, 8s, 16s, 30s, 30s}));
    EXPECT_EQ(server.hits("/one"), 7) << "one pass after each pause but the last";
}

TEST_F(ListRetrieval, PausedListShowsTheNoticeAndKeepsEverythingDisabled) {
    std::string paused = exampleList();
    paused.replace(paused.find("Down=True"), 9, "Down=False");
    server.serve("/one", {200, platform::utf8ToGbk(paused)});
    retrieveList(c);
    EXPECT_EQ(statuses().back(), "Quorvane下载器目前暂停使用，请稍候再试！");
    for (Control control : {Control::组合框1, Control::超级按钮_接收, Control::超级按钮_取消,
                            Control::超级按钮_打开已下载文件}) {
        EXPECT_TRUE(ui.isDisabled(control));
    }
    EXPECT_TRUE(ui.items().empty());
    EXPECT_TRUE(fs::exists(c.g.listFilePath));
}

TEST_F(ListRetrieval, UnusableDownValueDeletesTheFileAndFetchesAgain) {
    std::string unusable = exampleList();
    unusable.replace(unusable.find("Down=True"), 9, "Down=false");
    std::string missing = exampleList();
    missing.replace(missing.find("Down=True"), 9, "");
    server.serve("/one", [&](int n) -> ListServer::Answer {
        if (n == 1) return {200, unusable};
        if (n == 2) return {200, missing};
        return {200, gbkList};
    });
    retrieveList(c);
    EXPECT_EQ(server.hits("/one"), 3);
    EXPECT_EQ(ui.items().size(), 3u);
    EXPECT_EQ(listFiles(), std::vector<fs::path>{c.g.listFilePath}) << "one list file at a time";
}

TEST_F(ListRetrieval, ListGoesToNResWhenThatFolderExists) {
    server.serve("/one", {200, gbkList});
    fs::create_directory(system.programFolder() / "nRes");
    retrieveList(c);
    EXPECT_EQ(c.g.listFilePath.parent_path(), system.programFolder() / "nRes");
}

TEST_F(ListRetrieval, WithoutNResTheListGoesBesideTheProgram) {
    server.serve("/one", {200, gbkList});
    retrieveList(c);
    EXPECT_EQ(c.g.listFilePath.parent_path(), system.programFolder());
    const std::string name = c.g.listFilePath.stem().string();
    EXPECT_GE(name.size(), 10u);
    EXPECT_LE(name.size(), 16u);
    EXPECT_EQ(c.g.listFilePath.extension(), ".ini");
}

TEST_F(ListRetrieval, ReadOnlyProgramFolderKeepsTheListInTheUsersCacheElseTemporaryFolder) {
    server.serve("/one", {200, gbkList});
    system.makeReadOnly(system.programFolder());
    retrieveList(c);
    EXPECT_EQ(c.g.listFilePath.parent_path(), system.userCacheFolder() / "quorvane-downloader");
    EXPECT_EQ(ui.items().size(), 3u);

    system.makeReadOnly(system.userCacheFolder() / "quorvane-downloader");
    ui.clearItems();
    retrieveList(c);
    EXPECT_EQ(c.g.listFilePath.parent_path(), system.userTempFolder());
    EXPECT_EQ(ui.items().size(), 3u);
}

TEST_F(ListRetrieval, StoredListsRevealTheSameAddressEveryTime) {
    const ProtectionKeys keys = programProtectionKeys();
    EXPECT_EQ(revealAddress(c.g.protectedSource1, keys), server.url("/one"));
    EXPECT_EQ(revealAddress(c.g.protectedSource1, keys), server.url("/one"));
}

TEST_F(ListRetrieval, SourceThatRevealsNoAddressIsPassedOver) {
    c.g.protectedSource1 = "1,2,3";
    server.serve("/two", {200, gbkList});
    retrieveList(c);
    EXPECT_EQ(ui.items().size(), 3u);
    EXPECT_EQ(statuses()[1], "正在读取文件列表，请稍候！(2)");
}

}  // namespace
}  // namespace quorvane::test
