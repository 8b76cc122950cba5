#pragma once

// A stand-in for the game's servers on one port: the news page, the three list paths and the
// client files on three mirrors, with byte ranges and an optional per-connection throttle.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <httplib.h>

namespace quorvane::demo {

struct DemoServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 18080;                             // 0 picks a free port
    std::int64_t fileBytes = 32LL * 1024 * 1024;  // each client file
    std::int64_t bytesPerSecond = 2048LL * 1024;  // per connection; 0 for no throttle
    std::string downValue = "True";
};

class DemoServer {
  public:
    explicit DemoServer(DemoServerOptions options);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Binds the listening socket; false when the address or port cannot be had.
    bool bind();
    int port() const { return port_; }
    // "http://host:port" as the list names the mirrors.
    std::string baseAddress() const;
    // Serves until stop(); call after a successful bind().
    void run();
    // Ends run() and cuts transfers under way short; safe from any thread.
    void stop();

  private:
    void addRoutes();
    void serveClientFile(const std::string& name, const httplib::Request& request,
                         httplib::Response& response);
    void streamFileBytes(const std::string& name, std::int64_t first, std::int64_t length,
                         httplib::Response& response);

    DemoServerOptions options_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> runStarted_{false};
    std::atomic<bool> runEnded_{false};
};

}  // namespace quorvane::demo
