// quorvane-fetch as a user meets it: help and version, where -o and -O put the file, and an exit
// status that tells what went wrong, also after Ctrl-C.

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "engine_test_support.h"
#include "fetch_child.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

FetchFinished fetch(const std::filesystem::path& folder, std::vector<std::string> arguments) {
    return FetchChild(folder, std::move(arguments)).wait();
}

TEST(FetchCommandLine, AnswersHelpAndVersionAndRefusesBadUsage) {
    ScratchFolder folder;
    auto help = fetch(folder.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-O "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("130"), std::string::npos) << help.out;
    auto version = fetch(folder.path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("quorvane-fetch 3.")) << version.out;
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"http://127.0.0.1/x"},
                                                {"-O", "-o", "x", "http://127.0.0.1/x"},
                                                {"-n", "11", "-O", "http://127.0.0.1/x"},
                                                {"-O", "http://127.0.0.1/"}}) {
        auto refused = fetch(folder.path(), bad);
        EXPECT_EQ(refused.status, 2) << bad.back();
        EXPECT_NE(refused.err.find("usage:"), std::string::npos) << refused.err;
    }
    EXPECT_TRUE(listing(folder.path()).empty());
}

TEST(FetchCommandLine, SavesIntoAFolderOrTheCurrentOneUnderTheServersName) {
    TestHttpServer server;
    server.servePattern("/dl/my file.bin", 100 * 1024);
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "into");

    auto intoFolder = fetch(folder.path(), {"-q", "-o", "into", server.url("/dl/my%20file.bin")});
    auto here = fetch(folder / "into", {"-O", server.url("/dl/my%20file.bin")});

    EXPECT_EQ(intoFolder.status, 0) << intoFolder.out;
    EXPECT_EQ(here.status, 0) << here.out;
    EXPECT_NE(intoFolder.out.find("\"outcome\":\"completed\""), std::string::npos);
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"into"});
    expectOnlyThePattern(folder / "into", "my file.bin", 100 * 1024);
}

TEST(FetchCommandLine, ExitsWithTheKindOfFailure) {
    TestHttpServer server;
    server.answerStatus("/forbidden", 403);
    ScratchFolder folder;

    auto missing = fetch(folder.path(), {"-q", "-o", "file", server.url("/missing")});
    auto forbidden = fetch(folder.path(), {"-o", "file", server.url("/forbidden")});
    auto nowhere = fetch(folder.path(), {"-o", "no/such/folder/file", server.url("/missing")});

    EXPECT_EQ(missing.status, 9);
    EXPECT_EQ(missing.err, "") << "-q is quiet";
    EXPECT_EQ(forbidden.status, 8);
    EXPECT_NE(forbidden.err.find("403"), std::string::npos) << forbidden.err;
    EXPECT_EQ(nowhere.status, 4) << nowhere.out;
    EXPECT_TRUE(listing(folder.path()).empty());
}

TEST(FetchCommandLine, CtrlCEndsWith130AndAReason) {
    TestHttpServer server;
    server.servePattern("/slow.bin", 4 * 1024 * 1024, throttledTo(256 * 1024));
    ScratchFolder folder;

    FetchChild run(folder.path(), {"-o", "slow.bin", server.url("/slow.bin")});
    // Once its temporary file is there, the download runs and Ctrl-C is handled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (listing(folder.path()).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.signal(SIGINT);
    auto interrupted = run.wait();
    server.releaseStalls();

    EXPECT_EQ(interrupted.status, 130);
    EXPECT_NE(interrupted.out.find("\"outcome\":\"stopped\""), std::string::npos);
    EXPECT_EQ(interrupted.out.find("\"reason\":\"\""), std::string::npos) << interrupted.out;
    // Ctrl-C is an interruption: what arrived stays hidden for the next run, never as slow.bin.
    for (const auto& name : listing(folder.path())) {
        EXPECT_TRUE(name == ".slow.bin.part" || name == ".slow.bin.prec") << name;
    }
}

}  // namespace
}  // namespace quorvane::testing
