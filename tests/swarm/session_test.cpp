// The session's listening socket: there while a job is (the firewall asks a player about a
// program that listens), gone once the last job has ended, back with the next one.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "swarm/session.h"
#include "swarm_test_support.h"

namespace quorvane::testing {
namespace {

template <typename Condition>
bool within(std::chrono::seconds limit, Condition condition) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class EndedJobs final : public swarm::Listener {
  public:
    void onSizeKnown(swarm::JobId, std::int64_t, std::int64_t) override {}
    void onJobEnded(swarm::JobId job, const swarm::JobReport&) override {
        std::lock_guard lock(mutex_);
        ended_.insert(job);
    }
    bool ended(swarm::JobId job) {
        std::lock_guard lock(mutex_);
        return ended_.count(job) != 0;
    }

  private:
    std::mutex mutex_;
    std::set<swarm::JobId> ended_;
};

TEST(SwarmSession, ListensOnlyWhileAJobIsThere) {
    ScratchFolder operatorFolder, folder;
    // A web seed where nobody answers: the job waits for peers until it is stopped.
    const std::string torrent =
        patternTorrent(operatorFolder.path(), "client.rar", 1 << 20, {"http://127.0.0.1:1/x"}, "");
    swarm::PeerSettings settings;
    settings.listenInterfaces = "127.0.0.1:0";
    settings.localDiscovery = false;
    EndedJobs listener;
    swarm::Session session(listener, settings);
    auto start = [&] {
        swarm::JobOptions options;
        options.torrent = torrent;
        options.target = folder / "client.rar";
        options.stallTimeout = std::chrono::minutes(5);
        return session.start(std::move(options)).id;
    };

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("job " + std::to_string(round));
        const swarm::JobId job = start();
        ASSERT_TRUE(within(std::chrono::seconds(30), [&] { return session.listenPort() > 0; }));
        const int port = session.listenPort();
        EXPECT_TRUE(acceptsConnections(port));
        session.stop(job);
        ASSERT_TRUE(within(std::chrono::seconds(30), [&] { return listener.ended(job); }));
        EXPECT_TRUE(within(std::chrono::seconds(30),
                           [&] { return session.listenPort() == 0 && !acceptsConnections(port); }))
            << "still listening on " << port << " with no job";
    }
}

}  // namespace
}  // namespace quorvane::testing
