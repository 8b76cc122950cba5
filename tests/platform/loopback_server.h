#pragma once

// An HTTP server on 127.0.0.1 and a free port, serving on its own thread for one test.

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace quorvane::test {

class LoopbackServer {
  public:
    LoopbackServer() = default;
    ~LoopbackServer() { stop(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& http() { return server_; }

    // Call after the routes are set up. Connections made before the thread accepts wait in the
    // listen queue, so the server can be used at once.
    bool start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) return false;
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only reaches a server that is already listening.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return server_.is_running();
    }
    void stop() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace quorvane::test
