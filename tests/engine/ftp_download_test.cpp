// Downloads from a real FTP server (pyftpdlib, started by the test on 127.0.0.1).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "engine_test_support.h"
#include "support/test_http_server.h"

extern char** environ;

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

bool accepts(int port) {
    int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool connected = ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(client);
    return connected;
}

// pyftpdlib serving a folder read-only to the anonymous user.
class FtpServer {
  public:
    explicit FtpServer(const std::filesystem::path& root) : port_(freeLoopbackPort()) {
        std::string portText = std::to_string(port_);
        std::string rootText = root.string();
        const char* argv[] = {"/usr/bin/python3", "-m", "pyftpdlib",      "-i",   "127.0.0.1", "-p",
                              portText.c_str(),   "-d", rootText.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, "/usr/bin/python3", &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 200 && pid_ > 0 && !accepts(port_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~FtpServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    bool running() const { return pid_ > 0 && accepts(port_); }
    std::string url(const std::string& name) const {
        return "ftp://127.0.0.1:" + std::to_string(port_) + "/" + name;
    }

  private:
    pid_t pid_ = -1;
    int port_;
};

bool havePyftpdlib() {
    return std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") == 0;
}

class FtpDownload : public ::testing::TestWithParam<int> {};

TEST_P(FtpDownload, FetchesTheExactFileOverSeveralConnections) {
    if (!havePyftpdlib()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
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

TEST(FtpDownloadFailure, AMissingFileFailsAndLeavesNothing) {
    if (!havePyftpdlib()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
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
