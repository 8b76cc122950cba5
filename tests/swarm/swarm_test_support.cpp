#include "swarm_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace quorvane::testing {
namespace {

// The tracker's answer to a GET of `query`; empty when it does not answer.
std::string trackerAnswer(int port, const std::string& query) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(probe, request.data(), request.size(), 0) ==
            static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (ssize_t n; (n = ::recv(probe, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, n);
        }
    }
    ::close(probe);
    return answer;
}

std::string escapedHash(const std::string& hash) {  // 40 hex digits
    std::string escaped;
    for (std::size_t i = 0; i + 1 < hash.size(); i += 2) escaped += "%" + hash.substr(i, 2);
    return escaped;
}

// The tracker's answer to a "stopped" announce of the hash, which registers no one.
std::string announceAnswer(int port, const std::string& hash) {
    return trackerAnswer(port, "/announce?info_hash=" + escapedHash(hash) +
                                   "&peer_id=-QT0000-probeprobepr&port=1&uploaded=0&downloaded=0"
                                   "&left=0&event=stopped");
}

// A number of a bencoded dictionary's key in the text, 0 when it is not there.
int bencodedNumber(const std::string& text, const std::string& key) {
    const std::string field = std::to_string(key.size()) + ":" + key + "i";
    const auto at = text.find(field);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + field.size());
}

}  // namespace

bool acceptsConnections(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

Tracker::Tracker(const std::vector<std::string>& torrents, int port) : port_(port) {
    std::ofstream whitelist(folder_ / "whitelist.txt");
    for (const auto& torrent : torrents) {
        for (const auto& hash : announcedHashes(torrent)) whitelist << hash << "\n";
    }
    whitelist.close();
    const std::string portText = std::to_string(port_);
    const std::string folder = folder_.path().string();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Run from its folder: as root it changes its root there before it reads the list.
        if (::chdir(folder.c_str()) == 0) {
            ::execlp("opentracker", "opentracker", "-i", "127.0.0.1", "-p", portText.c_str(), "-P",
                     portText.c_str(), "-d", folder.c_str(), "-w", "whitelist.txt",
                     static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    // opentracker reads its whitelist on a thread of its own, a moment after it listens.
    const std::string known = torrents.empty() ? "" : announcedHashes(torrents.front()).front();
    for (int i = 0; i < 500; ++i) {
        if (acceptsConnections(port_)) {
            if (known.empty()) break;
            const std::string answer = announceAnswer(port_, known);
            if (!answer.empty() && answer.find("failure reason") == std::string::npos) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Tracker::~Tracker() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

int Tracker::peersOf(const std::string& torrent) const {
    const auto hashes = announcedHashes(torrent);
    if (hashes.empty()) return 0;
    const std::string answer = trackerAnswer(port_, "/scrape?info_hash=" + escapedHash(hashes[0]));
    return bencodedNumber(answer, "complete") + bencodedNumber(answer, "incomplete");
}

std::string Tracker::announceUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/announce";
}

std::int64_t jsonNumber(const std::string& json, const std::string& field) {
    const std::string key = "\"" + field + "\":";
    const auto at = json.find(key);
    if (at == std::string::npos) return -1;
    return std::stoll(json.substr(at + key.size()));
}

std::string jsonText(const std::string& json, const std::string& field) {
    const std::string key = "\"" + field + "\":\"";
    const auto at = json.find(key);
    if (at == std::string::npos) return {};
    const auto end = json.find('"', at + key.size());
    return json.substr(at + key.size(), end - at - key.size());
}

}  // namespace quorvane::testing
