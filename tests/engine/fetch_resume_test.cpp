// quorvane-fetch killed outright (SIGKILL: no handler runs) and run again: the file is right, the
// second run fetched only what the first had not safely stored, and nothing else is left.

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "engine/resume_record.h"
#include "engine_test_support.h"
#include "fetch_child.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kSize = 4096 * kKiB;

std::int64_t recordedBytes(const std::filesystem::path& record) {
    auto parsed = engine::parseRecord(fileText(record));
    return parsed ? parsed->done.total() : 0;
}

class KilledFetch : public ::testing::TestWithParam<int> {};

TEST_P(KilledFetch, RunAgainFetchesOnlyTheRestAndLeavesOnlyTheFile) {
    const int percent = GetParam();
    TestHttpServer server;
    server.servePattern("/file.bin", kSize, throttledTo(512 * kKiB));
    ScratchFolder folder;
    const std::vector<std::string> command = {"-q", "-n", "4",        "--save-every",
                                              "50", "-o", "file.bin", server.url("/file.bin")};
    {
        FetchChild first(folder.path(), command);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        // About there: the first record may come a little later, while the first batches fill.
        while ((server.bodyBytesSent() < kSize * percent / 100 ||
                !std::filesystem::exists(folder / ".file.bin.prec")) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        first.signal(SIGKILL);
        first.wait();
    }
    const std::int64_t kept = recordedBytes(folder / ".file.bin.prec");
    EXPECT_GT(kept, 0) << "a record is written while the download runs";

    server.servePattern("/file.bin", kSize);  // the same file, at full speed
    const auto sentBefore = server.bodyBytesSent();
    FetchChild second(folder.path(), command);
    const auto [status, out, err] = second.wait();

    EXPECT_EQ(status, 0) << out << err;
    EXPECT_NE(out.find("\"resumed\":" + std::to_string(kept) + ","), std::string::npos) << out;
    // Only the rest, give or take the tail of a request cut short when a connection took over.
    EXPECT_GE(server.bodyBytesSent() - sentBefore, kSize - kept);
    EXPECT_LE(server.bodyBytesSent() - sentBefore, kSize - kept + 256 * kKiB);
    expectOnlyThePattern(folder.path(), "file.bin", kSize);
}

INSTANTIATE_TEST_SUITE_P(AtTenFiftyAndNinetyPercent, KilledFetch, ::testing::Values(10, 50, 90));

}  // namespace
}  // namespace quorvane::testing
