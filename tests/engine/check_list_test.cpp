// quorvane-check-list as the operator uses it: a list whose files all answer passes and gets its
// [Sha256] section; a missing part 2 and a malformed hash are named as problems; it says which
// encoding it found; hostile servers and lists are lines of the report within a deadline.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "engine_test_support.h"
#include "ftp_server.h"
#include "raw_http_server.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

// Should the list's bound ever go, /dev/zero must not take the machine's memory with it; the
// sanitizers reserve more address space than any bound.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr const char* kMemoryBound = "";
#else
constexpr const char* kMemoryBound = "ulimit -v 2000000; ";
#endif

struct Checked {
    int status = -1;
    std::string out;
    bool says(const std::string& line) const { return out.find(line) != std::string::npos; }
};

Checked checkList(const std::string& address, const std::string& options = "--hash") {
    const std::string command =
        std::string(kMemoryBound) + QUORVANE_CHECK_LIST_PATH + " " + options + " " + address;
    Checked checked;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        checked.out.append(buffer, n);
    int status = ::pclose(pipe);
    checked.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return checked;
}

std::string listOf(const TestHttpServer& server, const std::string& extra) {
    return "\xEF\xBB\xBF[Down]\r\nDown=True\r\n[Files]\r\nNum=2\r\n[Name]\r\n"
           "Name1=客户端(网通下载)\r\nName2=客户端第一部分(电信下载)\r\n[Add]\r\nAdd1=" +
           server.url("/client.rar") + "\r\nAdd2=" + server.url("/client.part1.rar") + "\r\n" +
           extra;
}

TEST(CheckList, PassesAGoodListAndPrintsItsHashesAndNamesWhatIsWrong) {
    TestHttpServer server;
    server.servePattern("/client.rar", 300 * kKiB);
    server.servePattern("/client.part1.rar", 200 * kKiB);
    server.servePattern("/client.part2.rar", 100 * kKiB);
    server.serve("/good.ini", listOf(server, ""));
    auto good = checkList(server.url("/good.ini"));
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_NE(good.out.find("list: UTF-8 (marked), 2 entries"), std::string::npos) << good.out;
    for (auto [name, size] :
         {std::pair{"client.rar", 300}, {"client.part1.rar", 200}, {"client.part2.rar", 100}}) {
        EXPECT_NE(good.out.find(std::string(name) + "=" + sha256Of(patternBytes(size * kKiB))),
                  std::string::npos)
            << name << good.out;
    }

    server.answerStatus("/client.part2.rar", 404);
    server.serve("/bad.ini", listOf(server, "[Sha256]\r\nclient.rar=abc\r\n") + "\xFF\xFF");
    auto bad = checkList(server.url("/bad.ini"));
    EXPECT_EQ(bad.status, 1) << bad.out;
    EXPECT_NE(bad.out.find("problem: " + server.url("/client.part2.rar") + " does not answer"),
              std::string::npos)
        << bad.out;
    EXPECT_NE(bad.out.find("problem: Sha256/client.rar is not 64 hex digits"), std::string::npos)
        << bad.out;
    EXPECT_TRUE(bad.says("problem: bytes that are not UTF-8 after the byte-order mark")) << bad.out;
}

TEST(CheckList, FileOnFtpHasItsWholeSizeAndHash) {
    if (const auto why = FtpServer::whyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    ScratchFolder served;
    const std::string bytes = patternBytes(300 * kKiB);
    std::ofstream(served / "client.rar", std::ios::binary) << bytes;
    FtpServer server(served.path());
    ASSERT_TRUE(server.running());
    std::ofstream(served / "list.ini", std::ios::binary)
        << "[Down]\nDown=True\n[Files]\nNum=1\n[Name]\nName1=x\n[Add]\nAdd1="
        << server.url("client.rar") << "\n";
    const auto checked = checkList((served / "list.ini").string());
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_TRUE(checked.says("ok: " + server.url("client.rar") + ", 307200 bytes, ranges"))
        << checked.out;
    EXPECT_TRUE(checked.says("client.rar=" + sha256Of(bytes))) << checked.out;
}

TEST(CheckList, SaysWhichEncodingItFoundAsTheProgramReadsIt) {
    TestHttpServer server;
    server.servePattern("/client.rar", 10 * kKiB);
    const auto listIn = [&](const std::string& name) {
        return "[Down]\r\nDown=True\r\n[Files]\r\nNum=1\r\n[Name]\r\nName1=" + name +
               "\r\n[Add]\r\nAdd1=" + server.url("/client.rar") + "\r\n";
    };
    const std::string gbkName = "\xBF\xCD\xBB\xA7\xB6\xCB(\xCD\xF8\xCD\xA8\xCF\xC2\xD4\xD8)";
    struct Row {
        const char* question;
        std::string list;
        const char* encoding;
        const char* problem;  // nullptr when the list passes
    };
    const Row rows[] = {
        {"marked UTF-8", "\xEF\xBB\xBF" + listIn("客户端(网通下载)"), "UTF-8 (marked)", nullptr},
        {"UTF-8 without the mark", listIn("客户端(网通下载)"), "UTF-8 (no mark)", nullptr},
        {"GBK", listIn(gbkName), "GBK", nullptr},
        {"plain ASCII", listIn("Quorvane"), "GBK", nullptr},
        {"UTF-8 with one line in GBK", listIn("客户端") + "; " + gbkName + "\r\n", "GBK",
         "bytes that are neither GBK nor UTF-8"},
        {"neither", listIn(gbkName + "\xFF"), "GBK", "bytes that are neither GBK nor UTF-8"},
        {"marked but not UTF-8", "\xEF\xBB\xBF" + listIn(gbkName), "UTF-8 (marked)",
         "bytes that are not UTF-8 after the byte-order mark"},
    };
    for (const Row& row : rows) {
        server.serve("/list.ini", row.list);
        const auto checked = checkList(server.url("/list.ini"), "");
        EXPECT_TRUE(checked.says(std::string("list: ") + row.encoding + ", 1 entries"))
            << row.question << "\n"
            << checked.out;
        EXPECT_EQ(checked.status, row.problem ? 1 : 0) << row.question << "\n" << checked.out;
        if (row.problem) {
            EXPECT_TRUE(checked.says(std::string("problem: ") + row.problem))
                << row.question << "\n"
                << checked.out;
        }
    }
}

// Accepts connections (the kernel does, up to its backlog) and never says a word.
class SilentServer {
  public:
    SilentServer() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(socket_, 64) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~SilentServer() { ::close(socket_); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    int socket_ = -1;
    int port_ = 0;
};

constexpr std::int64_t kAnnounced = 100 * kKiB;

// Content-Range totals no program can read, and a file that never ends where it said it would.
std::string hostileAnswer(const std::string& head) {
    const auto start = head.find(' ') + 1;
    const std::string path = head.substr(start, head.find(' ', start) - start);
    const bool ranged = head.find("Range: bytes=0-0") != std::string::npos;
    const auto firstByte = [](const std::string& total) {
        return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-0/" + total +
               "\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx";
    };
    if (path == "/abc.rar") return firstByte("abc");
    if (path == "/digits.rar") return firstByte("99999999999999999999");
    if (path == "/nothing.rar") return firstByte("");
    if (ranged) return firstByte(std::to_string(kAnnounced));
    static const std::string endless =
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(8 << 20, 'e');
    return endless;
}

using Clock = std::chrono::steady_clock;

TEST(CheckList, HostileServersAndListsAreLinesOfTheReportWithinTheirDeadlines) {
    RawHttpServer hostile(hostileAnswer);
    TestHttpServer server;
    server.servePattern("/good.rar", kAnnounced);
    Faults trickle;
    trickle.bytesPerSecond = 2 * 1000;
    server.servePattern("/trickle.rar", 300 * kKiB, trickle);
    SilentServer silentWithMany;
    std::vector<std::unique_ptr<SilentServer>> silentOnes(20);
    std::vector<std::string> addresses = {hostile.url("/abc.rar"),     hostile.url("/digits.rar"),
                                          hostile.url("/nothing.rar"), hostile.url("/endless.rar"),
                                          server.url("/trickle.rar"),  server.url("/good.rar")};
    std::vector<std::string> silentAddresses;
    for (auto& one : silentOnes) {
        one = std::make_unique<SilentServer>();
        silentAddresses.push_back(one->url("/file.rar"));
    }
    for (int i = 0; i < 30; ++i) {
        silentAddresses.push_back(silentWithMany.url("/file" + std::to_string(i) + ".rar"));
    }
    addresses.insert(addresses.end(), silentAddresses.begin(), silentAddresses.end());
    std::string list =
        "[Down]\nDown=True\n[Files]\nNum=" + std::to_string(addresses.size()) + "\n[Name]\n";
    for (std::size_t i = 1; i <= addresses.size(); ++i) list += "Name" + std::to_string(i) + "=x\n";
    list += "[Add]\n";
    for (std::size_t i = 1; i <= addresses.size(); ++i) {
        list += "Add" + std::to_string(i) + "=" + addresses[i - 1] + "\n";
    }
    server.serve("/hostile.ini", list);

    // Checked one at a time, the silent ones alone would take 100 s.
    auto started = Clock::now();
    const auto checked = checkList(server.url("/hostile.ini"), "--hash --timeout 2");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(checked.status, 1) << checked.out;
    for (const char* name : {"/abc.rar", "/digits.rar", "/nothing.rar"}) {
        EXPECT_TRUE(checked.says("problem: " + hostile.url(name) +
                                 " answers with a Content-Range no program can read"))
            << name << "\n"
            << checked.out;
    }
    EXPECT_TRUE(checked.says("problem: " + hostile.url("/endless.rar") + " sends more than the " +
                             std::to_string(kAnnounced) + " bytes it announced"))
        << checked.out;
    EXPECT_TRUE(
        checked.says("problem: " + server.url("/trickle.rar") + " could not be downloaded: "))
        << checked.out;
    EXPECT_TRUE(checked.says("ok: " + server.url("/good.rar") + ", 102400 bytes, ranges"))
        << checked.out;
    EXPECT_TRUE(checked.says("good.rar=" + sha256Of(patternBytes(kAnnounced)))) << checked.out;
    for (const auto& address : silentAddresses) {
        EXPECT_TRUE(checked.says("problem: " + address + " ")) << address << "\n" << checked.out;
    }
    EXPECT_TRUE(checked.says("not asked: its server did not answer 2 other requests"))
        << checked.out;

    // A list that trickles in, and one that never ends.
    Faults slowList;
    slowList.bytesPerSecond = 2 * 1000;
    server.serve("/slow.ini", list + std::string(100 * kKiB, ';'), slowList);
    started = Clock::now();
    const auto slow = checkList(server.url("/slow.ini"), "--timeout 2");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(20));
    EXPECT_TRUE(slow.says("problem: the list does not answer: ")) << slow.out;
    const auto endless = checkList("/dev/zero", "");
    EXPECT_EQ(endless.status, 1);
    EXPECT_EQ(endless.out, "problem: the list is larger than 1 MiB\n");
    server.releaseStalls();
}

}  // namespace
}  // namespace quorvane::testing
