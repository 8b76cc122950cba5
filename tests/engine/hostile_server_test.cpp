// Servers that answer with what no correct server sends: the engine never writes such a body as
// the file, and a fault that asking again cannot heal ends the job at once.

#include <gtest/gtest.h>

#include <thread>

#include "case_name.h"
#include "engine_test_support.h"
#include "raw_http_server.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kSize = 300 * 1024;

bool asksForRange(const std::string& head) {
    return head.find("Range: bytes=") != std::string::npos;
}

std::string answer(const std::string& statusAndHeaders, const std::string& body) {
    return "HTTP/1.1 " + statusAndHeaders + "Connection: close\r\n\r\n" + body;
}

// What a compressing server sends for the file: a stand-in for gzip, shorter than the file.
const std::string kGzipBody = "\x1f\x8b\x08\x00" + std::string(3000, 'z');

std::string gzipRangeWithoutLength(const std::string& head) {
    if (!asksForRange(head)) return answer("200 OK\r\nContent-Encoding: gzip\r\n", kGzipBody);
    return answer("206 Partial Content\r\nContent-Range: bytes 0-" + std::to_string(kSize - 1) +
                      "/" + std::to_string(kSize) + "\r\nContent-Encoding: gzip\r\n",
                  kGzipBody);
}

std::string gzipRangeWithLength(const std::string& head) {
    const std::string length = "Content-Length: " + std::to_string(kGzipBody.size()) + "\r\n";
    if (!asksForRange(head))
        return answer("200 OK\r\nContent-Encoding: gzip\r\n" + length, kGzipBody);
    return answer("206 Partial Content\r\nContent-Range: bytes 0-" +
                      std::to_string(kGzipBody.size() - 1) + "/" + std::to_string(kSize) +
                      "\r\nContent-Encoding: gzip\r\n" + length,
                  kGzipBody);
}

std::string gzipWholeFile(const std::string&) {
    return answer("200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                      std::to_string(kGzipBody.size()) + "\r\n",
                  kGzipBody);
}

// Answers are made once: a sanitizer build takes long enough over a megabyte for the engine to
// see a stalled server.
std::string negativeLength(const std::string&) {
    static const std::string made = answer("200 OK\r\nContent-Length: -1\r\n", patternBytes(kSize));
    return made;
}

std::string signedLength(const std::string&) {
    static const std::string made =
        answer("200 OK\r\nContent-Length: +" + std::to_string(kSize) + "\r\n", patternBytes(kSize));
    return made;
}

std::string megabyteOfHeaderLines(const std::string&) {
    static const std::string made = [] {
        std::string head = "200 OK\r\n";
        const std::string line = "X-Padding: " + std::string(100, 'p') + "\r\n";
        while (head.size() < 1024 * 1024) head += line;
        return answer(head + "Content-Length: " + std::to_string(kSize) + "\r\n",
                      patternBytes(kSize));
    }();
    return made;
}

struct HostileCase {
    const char* question;
    RawHttpServer::Answer answer;
    engine::FailureKind kind;
    int mostRequests;  // a permanent fault is not asked again and again
};

class HostileServer : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileServer, NeverCompletesAndFailsAtOnce) {
    const auto& c = GetParam();
    (void)c.answer("GET / HTTP/1.1\r\n\r\n");  // made before the engine waits for it
    RawHttpServer server(c.answer);
    EngineBench bench;

    auto [job, report] = bench.download(server.url("/file.bin"), "file.bin", 4);

    ASSERT_TRUE(report) << c.question;
    expectFailedLeavingNothing(*report, bench.folder.path(), "", c.question);
    EXPECT_EQ(report->failure, c.kind) << c.question << ": " << report->reason;
    EXPECT_LE(server.requests(), c.mostRequests) << c.question;
}

INSTANTIATE_TEST_SUITE_P(
    Responses, HostileServer,
    ::testing::Values(HostileCase{"is a gzip 206 without a length refused?", gzipRangeWithoutLength,
                                  engine::FailureKind::serverInconsistent, 2},
                      HostileCase{"is a gzip 206 with a length refused, also as a whole file?",
                                  gzipRangeWithLength, engine::FailureKind::serverInconsistent, 2},
                      HostileCase{"is a gzip 200 refused?", gzipWholeFile,
                                  engine::FailureKind::serverInconsistent, 2},
                      HostileCase{"does a Content-Length of -1 fail at once?", negativeLength,
                                  engine::FailureKind::serverError, 1},
                      HostileCase{"does a signed Content-Length fail at once?", signedLength,
                                  engine::FailureKind::serverError, 1},
                      HostileCase{"does a megabyte of header lines fail at once?",
                                  megabyteOfHeaderLines, engine::FailureKind::serverError, 1}),
    QuestionName());

TEST(HostileServerAsked, ForTheFilesOwnBytesGetsThem) {
    // A server that compresses unless told not to.
    RawHttpServer server([](const std::string& head) {
        if (head.find("Accept-Encoding: identity") == std::string::npos) return gzipWholeFile(head);
        return answer("200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n",
                      patternBytes(kSize));
    });
    EngineBench bench;
    auto [job, report] = bench.download(server.url("/file.bin"), "file.bin", 4);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    expectOnlyThePattern(bench.folder.path(), "file.bin", kSize);
}

// Until the server has answered once, every try shares one deadline; a server that has answered
// keeps the full number of tries.
TEST(Patience, ARefusingServerIsGivenUpSoonButAnAnsweringOneGetsEveryTry) {
    auto tuning = quickTuning();
    tuning.firstRetryPause = std::chrono::milliseconds(200);
    tuning.longestRetryPause = std::chrono::milliseconds(800);
    tuning.triesPerPiece = 8;
    tuning.firstAnswerPatience = std::chrono::milliseconds(250);
    const int port = freeLoopbackPort();
    ASSERT_GT(port, 0) << "no loopback port to probe";
    EngineBench bench;

    auto options =
        optionsFor("http://127.0.0.1:" + std::to_string(port) + "/file", bench.folder / "a", 4);
    options.tuning = tuning;
    const auto started = std::chrono::steady_clock::now();
    auto refused = bench.runToEnd(options);
    const auto took = std::chrono::steady_clock::now() - started;

    TestHttpServer server;
    Faults unavailable;
    unavailable.failFirst = 1000;
    server.servePattern("/file", kSize, unavailable);
    options.url = server.url("/file");
    auto answered = bench.runToEnd(options);

    ASSERT_TRUE(refused.report && answered.report);
    expectFailedLeavingNothing(*refused.report, bench.folder.path(), "no answer");
    EXPECT_EQ(refused.report->failure, engine::FailureKind::network);
    // Every try would take 0.2 + 0.4 + 0.8 * 5 s = 4.6 s; the patience is a quarter of a second.
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_LT(refused.report->retries, 3);
    EXPECT_EQ(answered.report->retries, tuning.triesPerPiece - 1) << answered.report->reason;
}

// Windows answers a connection to a full listen queue with a refusal instead of leaving it
// waiting, so the unreachable host cannot be played there.
#ifndef _WIN32
// A loopback port whose listen queue is full: connecting hangs as if the host could not be reached.
class UnreachablePort {
  public:
    UnreachablePort() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~UnreachablePort() {
        for (int filler : fillers_) ::close(filler);
        ::close(listener_);
    }
    int port() const { return port_; }

  private:
    int listener_ = -1;
    int port_ = 0;
    int fillers_[3] = {-1, -1, -1};
};

TEST(Patience, AServerThatCannotBeReachedIsGivenUpWithinIt) {
    UnreachablePort unreachable;
    EngineBench bench;
    auto options = optionsFor("http://127.0.0.1:" + std::to_string(unreachable.port()) + "/file",
                              bench.folder / "file", 4);
    options.tuning.connectTimeout = std::chrono::seconds(8);
    options.tuning.firstAnswerPatience = std::chrono::milliseconds(1000);

    const auto started = std::chrono::steady_clock::now();
    auto [job, report] = bench.runToEnd(options);
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_TRUE(report);
    expectFailedLeavingNothing(*report, bench.folder.path(), "no answer");
    // One connection attempt alone would wait 8 s.
    EXPECT_LT(took, std::chrono::seconds(4));
}

#endif

}  // namespace
}  // namespace quorvane::testing
