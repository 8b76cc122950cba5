// Downloads from a real FTP server (pyftpdlib, started by the test on 127.0.0.1).

#include <gtest/gtest.h>

#include <fstream>

#include "engine/resume_record.h"
#include "engine_test_support.h"
#include "ftp_server.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

class FtpDownload : public ::testing::TestWithParam<int> {};

TEST_P(FtpDownload, FetchesTheExactFileOverSeveralConnections) {
    if (const auto why = FtpServer::whyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    ScratchFolder served;
    const std::int64_t size = 1536 * kKiB + 77;
    {
        std::ofstream out(served / "game.rar", std::ios::binary);
        auto bytes = patternBytes(size);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    FtpServer server(served.path());
    ASSERT_TRUE(server.running()) << "pyftpdlib did not start";
    EngineBench bench;

    auto [job, report] =
        bench.download(server.url("game.rar"), "game.rar", GetParam(), std::chrono::seconds(60));

    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "game.rar", size);
    EXPECT_EQ(bench.listener.sizeEvents(job.id), 1);
    EXPECT_EQ(report->totalSize, size);
}

INSTANTIATE_TEST_SUITE_P(Connections, FtpDownload, ::testing::Values(1, 4, 10));

// The file's time (MDTM) names its version over FTP: a partial of the same time is resumed, one of
// another time is fetched anew.
TEST(FtpResume, ResumesOnlyAPartialOfTheSameFileTime) {
    if (const auto why = FtpServer::whyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    ScratchFolder served;
    const std::int64_t size = 1024 * kKiB;
    std::ofstream(served / "game.rar", std::ios::binary) << patternBytes(size);
    const auto modified =
        std::chrono::file_clock::to_sys(std::filesystem::last_write_time(served / "game.rar"));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(modified.time_since_epoch()).count();
    FtpServer server(served.path());
    ASSERT_TRUE(server.running()) << "pyftpdlib did not start";
    for (const bool sameTime : {true, false}) {
        EngineBench bench;
        engine::ResumeRecord record;
        record.url = server.url("game.rar");
        record.size = size;
        record.lastModified = "mdtm " + std::to_string(sameTime ? seconds : seconds - 3600);
        record.done.add(0, size / 2);
        std::ofstream(bench.folder / ".game.rar.part", std::ios::binary) << patternBytes(size / 2);
        std::ofstream(bench.folder / ".game.rar.prec", std::ios::binary)
            << engine::serializeRecord(record);

        auto [job, report] =
            bench.download(server.url("game.rar"), "game.rar", 2, std::chrono::seconds(60));

        ASSERT_TRUE(report);
        EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
        EXPECT_EQ(report->resumedBytes, sameTime ? size / 2 : 0);
        expectOnlyThePattern(bench.folder.path(), "game.rar", size);
    }
}

TEST(FtpDownloadFailure, AMissingFileFailsAndLeavesNothing) {
    if (const auto why = FtpServer::whyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    ScratchFolder served;
    FtpServer server(served.path());
    ASSERT_TRUE(server.running()) << "pyftpdlib did not start";
    EngineBench bench;
    auto [job, report] =
        bench.download(server.url("nothing.rar"), "nothing.rar", 4, std::chrono::seconds(60));
    ASSERT_TRUE(report);
    // Any reason will do, as long as there is one.
    expectFailedLeavingNothing(*report, bench.folder.path(), "");
}

}  // namespace
}  // namespace quorvane::testing
