#pragma once

// A loopback server that answers every request with bytes the test writes by hand, for responses
// no well-behaved server library would send: encoded bodies, broken heads, endless header lines.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace quorvane::testing {

// The few socket calls the server makes, under one name on both socket interfaces.
#ifdef _WIN32
using Socket = SOCKET;
using SocketLength = int;
constexpr int kNoSignal = 0;
inline void closeSocket(Socket socket) {
    ::closesocket(socket);
}
// Only closing the socket ends a waiting accept() on Windows.
inline void stopListening(Socket listener) {
    ::closesocket(listener);
}
inline void releaseListener(Socket) {}
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~SocketLibrary() { WSACleanup(); }
};
#else
using Socket = int;
using SocketLength = socklen_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
inline void closeSocket(Socket socket) {
    ::close(socket);
}
inline void stopListening(Socket listener) {
    ::shutdown(listener, SHUT_RDWR);
}
inline void releaseListener(Socket listener) {
    ::close(listener);
}
struct SocketLibrary {};
#endif

class RawHttpServer {
  public:
    // Gets the request head, returns the whole answer; the connection is closed after it.
    using Answer = std::function<std::string(const std::string& requestHead)>;

    explicit RawHttpServer(Answer answer) : answer_(std::move(answer)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        SocketLength length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listener_, 16) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~RawHttpServer() {
        stopping_ = true;
        stopListening(listener_);
        thread_.join();
        releaseListener(listener_);
    }
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requests() const { return requests_.load(); }

  private:
    void serve() {
        while (!stopping_) {
            const Socket connection = ::accept(listener_, nullptr, nullptr);
            if (connection == static_cast<Socket>(-1)) return;
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                auto got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                head.append(buffer, static_cast<std::size_t>(got));
            }
            ++requests_;
            std::string reply = answer_(head);
            for (std::size_t sent = 0; sent < reply.size();) {
                auto n = ::send(connection, reply.data() + sent,
                                static_cast<int>(reply.size() - sent), kNoSignal);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            closeSocket(connection);
        }
    }

    SocketLibrary socketLibrary_;
    Answer answer_;
    Socket listener_ = static_cast<Socket>(-1);
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

}  // namespace quorvane::testing
