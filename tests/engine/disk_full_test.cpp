// A download onto a disk that fills up: the job fails with a clear reason and leaves nothing.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include "case_name.h"
#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kKiB = 1024;

// A 1 MiB tmpfs on a scratch folder, when the test may mount one.
class SmallDisk {
  public:
    SmallDisk() {
        if (::geteuid() != 0) return;
        mounted_ = ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return folder_.path(); }

  private:
    ScratchFolder folder_;
    bool mounted_ = false;
};

struct DiskCase {
    const char* question;
    bool sizeKnown;
};

class FullDisk : public ::testing::TestWithParam<DiskCase> {};

TEST_P(FullDisk, FailsWithTheReasonAndRemovesThePartialFile) {
    const auto& c = GetParam();
    SmallDisk disk;
    if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs";
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
