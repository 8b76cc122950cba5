// Starting, stopping and destroying under a time budget: no hang, no second end, no leftovers.

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

bool noPartFiles(const std::filesystem::path& folder) {
    for (const auto& name : listing(folder)) {
        if (name.ends_with(".part")) return false;
    }
    return true;
}

TEST(Lifecycle, AThousandStartsAndStopsEachEndOnce) {
    TestHttpServer server;
    server.servePattern("/file.bin", 512 * kKiB);
    EngineBench bench;
    std::vector<engine::JobId> jobs;
    for (int i = 0; i < 1000; ++i) {
        auto job = bench.engine.start(
            optionsFor(server.url("/file.bin"), bench.folder / "file.bin", 1 + i % 10));
        bench.engine.stop(job.id);
        jobs.push_back(job.id);
    }
    // The engine takes the commands in batches and tells the ends after each: under a sanitizer
    // on a loaded machine a batch of a thousand jobs takes tens of seconds.
    for (auto id : jobs) {
        auto report = bench.listener.waitForEnd(id, std::chrono::seconds(90));
        ASSERT_TRUE(report) << "job " << id << " never ended";
        EXPECT_NE(report->outcome, engine::Outcome::failed) << report->reason;
    }
    for (auto id : jobs) EXPECT_EQ(bench.listener.endEvents(id), 1);
    EXPECT_TRUE(noPartFiles(bench.folder.path()));
}

TEST(Lifecycle, AThousandEnginesComeAndGoWithAJobRunning) {
    TestHttpServer server;
    server.servePattern("/file.bin", 4096 * kKiB, throttledTo(256 * kKiB));
    ScratchFolder folder;
    for (int i = 0; i < 1000; ++i) {
        RecordingListener listener;
        engine::JobId id = 0;
        {
            engine::Engine engine(listener);
            id = engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 2)).id;
        }
        ASSERT_EQ(listener.endEvents(id), 1) << "round " << i;
        // An ended engine is an interruption: what arrived is kept for a resume, and only once.
        for (const auto& name : listing(folder.path())) {
            ASSERT_TRUE(name == ".file.bin.part" || name == ".file.bin.prec") << name;
        }
    }
    server.releaseStalls();
}

// Starts one more job from inside the first end it hears of, as a queue starts its next file.
class ChainingListener : public RecordingListener {
  public:
    void onJobEnded(engine::JobId job, const engine::JobReport& report) override {
        RecordingListener::onJobEnded(job, report);
        if (engine != nullptr && chained.load() == 0) chained.store(engine->start(next).id);
    }

    engine::Engine* engine = nullptr;
    engine::JobOptions next;
    std::atomic<engine::JobId> chained{0};
};

TEST(Lifecycle, AJobStartedWhileTheEngineEndsEndsToo) {
    TestHttpServer server;
    server.servePattern("/file.bin", 4096 * kKiB, throttledTo(256 * kKiB));
    ScratchFolder folder;
    for (int i = 0; i < 20; ++i) {
        ChainingListener listener;
        listener.next = optionsFor(server.url("/file.bin"), folder / "next.bin", 2);
        engine::JobId first = 0;
        {
            engine::Engine engine(listener);
            listener.engine = &engine;
            first = engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 2)).id;
        }
        ASSERT_EQ(listener.endEvents(first), 1) << "round " << i;
        ASSERT_NE(listener.chained.load(), 0u) << "round " << i;
        ASSERT_EQ(listener.endEvents(listener.chained.load()), 1) << "round " << i;
    }
    server.releaseStalls();
}

// Requests that would run for ten seconds: a stop that waited for them would show.
TEST(Lifecycle, StopEndsEveryTransferWithoutWaitingForItsRequest) {
    TestHttpServer server;
    server.servePattern("/file.bin", 64 * 1024 * kKiB, throttledTo(512 * kKiB));
    EngineBench bench;
    auto options = optionsFor(server.url("/file.bin"), bench.folder / "file.bin", 10);
    options.tuning.largestRequest = 64 * 1024 * kKiB;
    auto job = bench.engine.start(options);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (job.progress->received.load() < 1024 * kKiB &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(job.progress->received.load(), 1024 * kKiB) << "the download did not get going";

    auto stopped = std::chrono::steady_clock::now();
    bench.engine.stop(job.id);
    auto report = bench.listener.waitForEnd(job.id);
    auto took = std::chrono::steady_clock::now() - stopped;

    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::stopped);
    // Well within a second on an idle machine; loose for a loaded one under a sanitizer or Wine.
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_TRUE(listing(bench.folder.path()).empty());
    server.releaseStalls();
}

}  // namespace
}  // namespace quorvane::testing
