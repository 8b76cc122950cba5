// quorvane-fetch killed outright (SIGKILL: no handler runs) and run again: the file is right, the
// second run fetched only what the first had not safely stored, and nothing else is left.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "engine/resume_record.h"
#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kSize = 4096 * kKiB;

// quorvane-fetch in `folder`; its standard output goes to a file.
class Child {
  public:
    Child(const std::filesystem::path& folder, std::vector<std::string> arguments)
        : out_(folder.parent_path() / (folder.filename().string() + ".out")) {
        arguments.insert(arguments.begin(), QUORVANE_FETCH_PATH);
        std::vector<char*> argv;  // made before fork: the child only calls what is safe there
        for (auto& word : arguments) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            if (::chdir(folder.c_str()) == 0) ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Child() { std::filesystem::remove(out_); }
    void kill() const { ::kill(pid_, SIGKILL); }
    // Exit status and standard output.
    std::pair<int, std::string> wait() const {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        std::ifstream in(out_);
        std::stringstream text;
        text << in.rdbuf();
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
    }

  private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

std::int64_t recordedBytes(const std::filesystem::path& record) {
    std::ifstream in(record, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto parsed = engine::parseRecord(text);
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
        Child first(folder.path(), command);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        // About there: the first record may come a little later, while the first batches fill.
        while ((server.bodyBytesSent() < kSize * percent / 100 ||
                !std::filesystem::exists(folder / ".file.bin.prec")) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        first.kill();
        first.wait();
    }
    const std::int64_t kept = recordedBytes(folder / ".file.bin.prec");
    EXPECT_GT(kept, 0) << "a record is written while the download runs";

    server.servePattern("/file.bin", kSize);  // the same file, at full speed
    const auto sentBefore = server.bodyBytesSent();
    Child second(folder.path(), command);
    auto [status, out] = second.wait();

    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"resumed\":" + std::to_string(kept) + ","), std::string::npos) << out;
    // Only the rest, give or take the tail of a request cut short when a connection took over.
    EXPECT_GE(server.bodyBytesSent() - sentBefore, kSize - kept);
    EXPECT_LE(server.bodyBytesSent() - sentBefore, kSize - kept + 256 * kKiB);
    expectOnlyThePattern(folder.path(), "file.bin", kSize);
}

INSTANTIATE_TEST_SUITE_P(AtTenFiftyAndNinetyPercent, KilledFetch, ::testing::Values(10, 50, 90));

}  // namespace
}  // namespace quorvane::testing
