#include "platform/http_read.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "loopback_server.h"
#include "scoped_environment.h"

namespace quorvane::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMiB = 1 << 20;

class HttpRead : public testing::Test {
  protected:
    void SetUp() override {
        auto& http = server_.http();
        http.Get("/list", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("[Down]\r\nDown=True\r\n", "text/plain");
        });
        http.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("[Down] but not found", "text/plain");
        });
        http.Get("/failing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("[Down]", "text/plain");
        });
        // /hop/N redirects N more times before it reaches /list.
        http.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1].str());
            res.set_redirect(left == 0 ? "/list" : "/hop/" + std::to_string(left - 1));
        });
        http.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/passwd");
        });
        http.Get("/to-ftp", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("ftp://127.0.0.1:" + std::to_string(server_.port()) + "/list");
        });
        http.Get(R"(/sized/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(std::stoul(req.matches[1].str()), 'x'), "text/plain");
        });
        // Without a length up front, so only the running count can stop the body.
        http.Get(R"(/chunked/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const std::size_t total = std::stoul(req.matches[1].str());
            res.set_chunked_content_provider(
                "text/plain", [total](std::size_t offset, httplib::DataSink& sink) {
                    const std::size_t count = std::min<std::size_t>(64 * 1024, total - offset);
                    sink.write(std::string(count, 'y').data(), count);
                    if (offset + count == total) sink.done();
                    return true;
                });
        });
        ASSERT_TRUE(server_.start());
    }

    std::string read(const std::string& path) { return httpRead(server_.url(path), noCancel_); }

    test::ScopedEnvironment noProxy_{"no_proxy", std::string("127.0.0.1,localhost")};
    test::LoopbackServer server_;
    std::atomic<bool> noCancel_{false};
};

TEST_F(HttpRead, ReturnsTheBodyOfASuccessfulAnswer) {
    EXPECT_EQ(read("/list"), "[Down]\r\nDown=True\r\n");
}

TEST_F(HttpRead, ErrorAnswersGiveEmptyText) {
    EXPECT_EQ(read("/missing"), "");
    EXPECT_EQ(read("/failing"), "");
}

TEST_F(HttpRead, FollowsUpToFiveRedirects) {
    EXPECT_EQ(read("/hop/4"), "[Down]\r\nDown=True\r\n");  // five redirects
    EXPECT_EQ(read("/hop/5"), "");                         // six
}

TEST_F(HttpRead, RedirectsOnlyToHttp) {
    EXPECT_EQ(read("/to-file"), "");
    EXPECT_EQ(read("/to-ftp"), "");
}

TEST_F(HttpRead, ReadsOnlyHttpAddresses) {
    std::atomic<bool> cancel{false};
    EXPECT_EQ(httpRead("file:///etc/hostname", cancel), "");
    EXPECT_EQ(httpRead("ftp://127.0.0.1:" + std::to_string(server_.port()) + "/list", cancel), "");
    EXPECT_EQ(httpRead("127.0.0.1/list", cancel), "");
    EXPECT_EQ(httpRead("", cancel), "");
}

TEST_F(HttpRead, RefusesBodiesOverOneMebibyte) {
    EXPECT_EQ(read("/sized/" + std::to_string(kMiB)).size(), kMiB);
    EXPECT_EQ(read("/sized/" + std::to_string(kMiB + 1)), "");
    EXPECT_EQ(read("/chunked/" + std::to_string(kMiB)).size(), kMiB);
    EXPECT_EQ(read("/chunked/" + std::to_string(kMiB + 1)), "");
}

TEST_F(HttpRead, TlsToAPlainServerFails) {
    EXPECT_EQ(httpRead("https://127.0.0.1:" + std::to_string(server_.port()) + "/list", noCancel_),
              "");
}

TEST(HttpReadRefused, AClosedPortGivesEmptyText) {
    test::LoopbackServer closed;
    ASSERT_TRUE(closed.start());
    const std::string url = closed.url("/list");
    closed.stop();
    std::atomic<bool> cancel{false};
    EXPECT_EQ(httpRead(url, cancel), "");
}

// The server sends part of the body and then stalls until the test lets it go.
TEST(HttpReadCancel, ASlowReadReturnsSoonAfterCancel) {
    test::ScopedEnvironment noProxy("no_proxy", std::string("127.0.0.1"));
    test::LoopbackServer server;
    std::promise<void> started;
    std::atomic<bool> release{false};
    server.http().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1000, "text/plain",
                                 [&](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write("[Down]", 6);
                                     started.set_value();
                                     while (!release.load())
                                         std::this_thread::sleep_for(std::chrono::milliseconds(5));
                                     return false;
                                 });
    });
    ASSERT_TRUE(server.start());

    std::atomic<bool> cancel{false};
    auto reading =
        std::async(std::launch::async, [&] { return httpRead(server.url("/slow"), cancel); });
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto cancelledAt = Clock::now();
    cancel.store(true);
    const bool returned = reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    const auto took = Clock::now() - cancelledAt;
    release.store(true);

    ASSERT_TRUE(returned);
    EXPECT_EQ(reading.get(), "");
    EXPECT_LT(took, std::chrono::seconds(2));  // the server would never end on its own
}

TEST(HttpReadCancel, AlreadySetCancelReadsNothing) {
    std::atomic<bool> cancel{true};
    test::LoopbackServer server;
    std::atomic<int> requests{0};
    server.http().Get("/list", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_content("[Down]", "text/plain");
    });
    ASSERT_TRUE(server.start());
    EXPECT_EQ(httpRead(server.url("/list"), cancel), "");
    server.stop();
    EXPECT_EQ(requests.load(), 0);
}

}  // namespace
}  // namespace quorvane::platform
