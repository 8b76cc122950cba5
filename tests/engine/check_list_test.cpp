// quorvane-check-list as the operator uses it: a list whose files all answer passes and gets its
// [Sha256] section; a missing part 2 and a malformed hash are named as problems.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

struct Checked {
    int status = -1;
    std::string out;
};

Checked checkList(const std::string& address) {
    const std::string command = std::string(QUORVANE_CHECK_LIST_PATH) + " --hash " + address;
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
}

}  // namespace
}  // namespace quorvane::testing
