#pragma once

// A loopback HTTP server that serves the download list's sources and counts who asked for what.

#include <httplib.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace quorvane::test {

class ListServer {
  public:
    struct Answer {
        int status = 200;
        std::string body;
        std::string type = "text/plain";
    };

    ListServer() {
        // Browsers keep connections open; a short keep-alive lets the server stop at once.
        server_.set_keep_alive_timeout(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~ListServer() {
        server_.stop();
        thread_.join();
    }

    // Answers GET path with what the function gives for the n-th request (from 1).
    void serve(const std::string& path, std::function<Answer(int)> answer) {
        server_.Get(path, [this, path, answer](const httplib::Request&, httplib::Response& res) {
            const int n = countHit(path);
            const Answer a = answer(n);
            res.status = a.status;
            res.set_content(a.body, a.type.c_str());
        });
    }
    void serve(const std::string& path, Answer answer) {
        serve(path, [answer](int) { return answer; });
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int hits(const std::string& path) {
        std::lock_guard lock(mutex_);
        return hits_[path];
    }

  private:
    int countHit(const std::string& path) {
        std::lock_guard lock(mutex_);
        return ++hits_[path];
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, int> hits_;
};

}  // namespace quorvane::test
