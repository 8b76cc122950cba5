// How a job shares a file out between connections on paths of their own rates: one request per
// share, work moved off a slow connection, cut requests that write nothing twice, and a bounded
// number of connections.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;

// The quick tuning, but with requests as large as a real job's, so that a share is asked for in
// one request.
engine::JobOptions realRequests(const std::string& url, const std::filesystem::path& target,
                                int connections) {
    auto options = optionsFor(url, target, connections);
    options.tuning.largestRequest = engine::Tuning{}.largestRequest;
    options.tuning.minPieceSize = 256 * kKiB;
    return options;
}

TEST(Scheduling, EachConnectionAsksForItsShareInOneRequest) {
    TestHttpServer server;
    Faults faults;
    faults.bytesPerSecond = 2 * kMiB;
    server.servePattern("/file.bin", 8 * kMiB, faults);
    EngineBench bench;
    auto [job, report] =
        bench.runToEnd(realRequests(server.url("/file.bin"), bench.folder / "file.bin", 4));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "file.bin", 8 * kMiB);
    // The first request, the rest of the first share, one for each other share; a takeover or
    // two near the end. Every further request would have cost its connection a round trip.
    EXPECT_LE(server.requests().size(), 4u + 1 + 2);
    EXPECT_LE(server.connectionsSeen(), 4 + 1);
    server.releaseStalls();
}

// Over a long path a connection's first answer takes a set-up round trip: the other connections
// pay theirs while the first answer is on its way, not after it, and no more are opened later.
TEST(Scheduling, TheOtherConnectionsOpenWhileTheFirstAnswerIsAwaited) {
    TestHttpServer server;
    Faults faults;
    faults.bytesPerSecond = 2 * kMiB;
    faults.handshake = std::chrono::milliseconds(400);
    server.servePattern("/file.bin", 4 * kMiB, faults);
    EngineBench bench;
    auto options = realRequests(server.url("/file.bin"), bench.folder / "file.bin", 4);
    options.tuning.openOthersAfter = engine::Tuning{}.openOthersAfter;
    auto [job, report] = bench.runToEnd(options);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "file.bin", 4 * kMiB);

    std::map<int, std::string> firstMethodOn;
    std::set<int> fetchedOn;
    for (const auto& request : server.requests()) {
        firstMethodOn.try_emplace(request.remotePort, request.method);
        if (request.method == "GET") fetchedOn.insert(request.remotePort);
    }
    EXPECT_EQ(firstMethodOn.size(), 4u);
    EXPECT_EQ(report->connectionsUsed, server.connectionsSeen());
    // One connection carried the first request; the others were opened by a request whose answer
    // is not waited for, then used for a share.
    int openedAhead = 0;
    for (const auto& [port, method] : firstMethodOn) {
        if (method == "HEAD") ++openedAhead;
        EXPECT_TRUE(fetchedOn.contains(port)) << port;
    }
    EXPECT_EQ(openedAhead, 3);
    server.releaseStalls();
}

TEST(Scheduling, ASlowConnectionsWorkMovesToTheFastOnesWithoutAByteWrittenTwice) {
    TestHttpServer server;
    Faults faults;
    faults.bytesPerSecond = 2 * kMiB;
    // The third connection crawls: its share alone would take over two minutes.
    faults.slowConnectionEvery = 3;
    faults.slowBytesPerSecond = 16 * kKiB;
    const std::int64_t size = 8 * kMiB;
    server.servePattern("/file.bin", size, faults);
    EngineBench bench;
    const auto started = std::chrono::steady_clock::now();
    auto [job, report] =
        bench.runToEnd(realRequests(server.url("/file.bin"), bench.folder / "file.bin", 4),
                       std::chrono::seconds(60));
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "file.bin", size);
    // Every byte was taken once: the slow request was cut where the others' shares begin.
    EXPECT_EQ(report->bytes, size);
    EXPECT_EQ(report->retries, 0);
    // Four fast connections need about a second; the slow one keeping even a quarter of a MiB
    // would take sixteen.
    EXPECT_LT(took, std::chrono::seconds(12));
    // Moving work opens no fresh connection for every move.
    EXPECT_LE(server.connectionsSeen(), 4 + 2);
    server.releaseStalls();
}

TEST(Scheduling, SlowPathsAmongManyCostFewNewConnections) {
    TestHttpServer server;
    Faults faults;
    faults.bytesPerSecond = 1 * kMiB;
    faults.slowConnectionEvery = 3;
    faults.slowBytesPerSecond = 64 * kKiB;
    const std::int64_t size = 20 * kMiB;
    server.servePattern("/file.bin", size, faults);
    EngineBench bench;
    auto [job, report] =
        bench.runToEnd(realRequests(server.url("/file.bin"), bench.folder / "file.bin", 10),
                       std::chrono::seconds(90));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "file.bin", size);
    EXPECT_EQ(report->bytes, size);
    // Three slow requests cut, and a few more near the end: not a connection for every move.
    EXPECT_LE(server.connectionsSeen(), 10 + 3);
    EXPECT_EQ(report->connectionsUsed, server.connectionsSeen());
    server.releaseStalls();
}

}  // namespace
}  // namespace quorvane::testing
