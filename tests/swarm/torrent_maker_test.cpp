// The operator's side: quorvane-check-list --torrent makes one hybrid torrent per server file
// name with every line's address as web seed, prints the [Torrent] section, and a player's
// quorvane-fetch downloads with it.

#include <gtest/gtest.h>
#include <libtorrent/torrent_info.hpp>

#include <cstdio>

#include "fetch_child.h"
#include "swarm/torrent_check.h"
#include "swarm_test_support.h"

namespace quorvane::testing {
namespace {

constexpr std::int64_t kKiB = 1024;

std::string run(const std::filesystem::path& folder, const std::string& command) {
    const std::string line = "cd '" + folder.string() + "' && " + command;
    std::string out;
    FILE* pipe = ::popen(line.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

TEST(TorrentMaker, MakesAHybridTorrentPerFileWithEveryLineAsWebSeedThatPlayersCanUse) {
    TestHttpServer line1, line2;
    for (auto* server : {&line1, &line2}) {
        server->servePattern("/dl/client.rar", 700 * kKiB + 5);
        server->servePattern("/dl/patch.zip", 90 * kKiB);
    }
    line1.serve("/down.ini",
                "\xEF\xBB\xBF[Down]\r\nDown=True\r\n[Files]\r\nNum=3\r\n[Name]\r\n"
                "Name1=客户端(网通下载)\r\nName2=客户端(电信下载)\r\nName3=补丁(网通下载)\r\n"
                "[Add]\r\nAdd1=" +
                    line1.url("/dl/client.rar") + "\r\nAdd2=" + line2.url("/dl/client.rar") +
                    "\r\nAdd3=" + line1.url("/dl/patch.zip") + "\r\n");
    ScratchFolder operatorFolder;
    const std::string out =
        run(operatorFolder.path(), std::string(QUORVANE_CHECK_LIST_PATH) +
                                       " --torrent http://127.0.0.1:1/announce " +
                                       line1.url("/down.ini"));
    EXPECT_NE(out.find("[Torrent]\nclient.rar=" + line1.url("/dl/client.rar") + ".torrent\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("patch.zip=" + line1.url("/dl/patch.zip") + ".torrent"), std::string::npos)
        << out;

    const std::string torrent = fileText(operatorFolder / "client.rar.torrent");
    std::string problem;
    auto facts = swarm::checkTorrent(torrent, "client.rar", problem);
    ASSERT_TRUE(facts) << problem;
    EXPECT_EQ(facts->size, 700 * kKiB + 5);
    EXPECT_FALSE(facts->infoHashV1.empty()) << "v1 clients can join";
    EXPECT_FALSE(facts->infoHashV2.empty()) << "and v2 ones";
    lt::error_code error;
    lt::torrent_info info(torrent, lt::from_span_t{});
    std::vector<std::string> seeds;
    for (const auto& seed : info.web_seeds()) seeds.push_back(seed.url);
    EXPECT_EQ(seeds,
              (std::vector<std::string>{line1.url("/dl/client.rar"), line2.url("/dl/client.rar")}));
    ASSERT_EQ(info.trackers().size(), 1u);
    EXPECT_EQ(info.trackers()[0].url, "http://127.0.0.1:1/announce");

    // A player with that torrent and nobody else around gets the file from both lines' servers.
    ScratchFolder player;
    FetchChild fetch(player.path(),
                     {"-q", "--torrent", (operatorFolder / "client.rar.torrent").string(), "-o",
                      ".", "--listen", "127.0.0.1:0", "--no-lan-discovery"});
    const FetchFinished end = fetch.wait();
    EXPECT_EQ(end.status, 0) << end.out << end.err;
    EXPECT_EQ(jsonNumber(end.out, "fromWebSeeds"), 700 * kKiB + 5) << end.out;
    expectOnlyThePattern(player.path(), "client.rar", 700 * kKiB + 5);
}

}  // namespace
}  // namespace quorvane::testing
