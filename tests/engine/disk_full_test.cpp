// A download onto a disk that fills up: the job fails with a clear reason and leaves nothing.

#include <gtest/gtest.h>

#include "case_name.h"
#include "engine_test_support.h"
#include "small_disk.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kKiB = 1024;

struct DiskCase {
    const char* question;
    bool sizeKnown;
};

class FullDisk : public ::testing::TestWithParam<DiskCase> {};

TEST_P(FullDisk, FailsWithTheReasonAndRemovesThePartialFile) {
    const auto& c = GetParam();
    SmallDisk disk;
    if (!disk.whyNot().empty()) GTEST_SKIP() << disk.whyNot();
    Faults faults;
    faults.noContentLength = !c.sizeKnown;
    TestHttpServer server;
    server.servePattern("/big.bin", 3 * 1024 * kKiB, faults);
    EngineBench bench;

    auto [job, report] =
        bench.runToEnd(optionsFor(server.url("/big.bin"), disk.path() / "big.bin", 4));

    ASSERT_TRUE(report) << c.question;
    expectFailedLeavingNothing(*report, disk.path(), "disk is full", c.question);
    EXPECT_EQ(report->failure, engine::FailureKind::diskFull) << c.question;
}

INSTANTIATE_TEST_SUITE_P(
    Disk, FullDisk,
    ::testing::Values(DiskCase{"is a file of known size that does not fit refused?", true},
                      DiskCase{"is a stream of unknown size that does not fit refused?", false}),
    QuestionName());

}  // namespace
}  // namespace quorvane::testing
