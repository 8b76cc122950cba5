#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

#include "platform/http_read.h"
#include "scoped_environment.h"
#include "self_signed_certificate.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

TEST(HttpReadTls, RefusesAServerWithAnUntrustedCertificate) {
    test::ScopedEnvironment noProxy("no_proxy", std::string("127.0.0.1"));
    test::TempFolder folder;
    ASSERT_TRUE(test::writeSelfSignedCertificate(folder / "cert.pem", folder / "key.pem"));
    httplib::SSLServer server((folder / "cert.pem").c_str(), (folder / "key.pem").c_str());
    ASSERT_TRUE(server.is_valid());
    server.Get("/list", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("[Down]", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // The server itself works for a client that skips the check...
    httplib::SSLClient trusting("127.0.0.1", port);
    trusting.enable_server_certificate_verification(false);
    const auto answer = trusting.Get("/list");
    // ...but the program's reader always checks certificates.
    std::atomic<bool> cancel{false};
    const std::string body =
        httpRead("https://127.0.0.1:" + std::to_string(port) + "/list", cancel);

    server.stop();
    serving.join();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "[Down]");
    EXPECT_EQ(body, "");
}

}  // namespace
}  // namespace quorvane::platform
