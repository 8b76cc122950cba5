#include "demo_server.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "byte_range.h"
#include "demo_content.h"

namespace quorvane::demo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunkBytes = 16 * 1024;
constexpr int kWorkerThreads = 48;  // ten connections per download and then some
// Fixed, so that a download resumed after a restart of the server still matches.
constexpr const char* kLastModified = "Mon, 20 May 2024 08:00:00 GMT";

std::string entityTag(const std::string& name, std::int64_t size) {
    return "\"" + name + "-" + std::to_string(size) + "\"";
}

// Keeps one response at its share of the throttle: waits until the bytes sent so far are due.
class Pacer {
  public:
    explicit Pacer(std::int64_t bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

    void waitFor(std::size_t bytes, const std::atomic<bool>& stopping) {
        sent_ += static_cast<std::int64_t>(bytes);
        if (bytesPerSecond_ <= 0) return;
        const auto due = start_ + std::chrono::microseconds(sent_ * 1'000'000 / bytesPerSecond_);
        while (!stopping.load() && Clock::now() < due) {
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(50)));
        }
    }

  private:
    std::int64_t bytesPerSecond_;
    std::int64_t sent_ = 0;
    Clock::time_point start_ = Clock::now();
};

// If-Range names the version a client already has part of; another version gets the whole file.
bool rangeStillApplies(const httplib::Request& request, const std::string& tag) {
    if (!request.has_header("If-Range")) return true;
    const std::string condition = request.get_header_value("If-Range");
    return condition == tag || condition == kLastModified;
}

}  // namespace

DemoServer::DemoServer(DemoServerOptions options)
    : options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    // httplib's default SO_REUSEPORT would let a second server share a port already taken, and
    // half the requests would go to it; SO_REUSEADDR alone still allows a quick restart.
    // On Windows SO_REUSEADDR would itself let another server take the port: there the port is
    // claimed exclusively. The cast suits both socket interfaces.
    server_->set_socket_options([](socket_t socket) {
        int yes = 1;
#ifdef _WIN32
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
#else
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    });
    // This httplib answers Range requests on its own without checking them against the size
    // (an end beyond the file makes it promise bytes it never sends). The file route answers
    // ranges itself, so the parsed ranges are dropped before routing.
    server_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        const_cast<httplib::Request&>(request).ranges.clear();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    addRoutes();
}

DemoServer::~DemoServer() {
    stop();
}

bool DemoServer::bind() {
    if (options_.port == 0) {
        port_ = server_->bind_to_any_port(options_.bindAddress);
        return port_ > 0;
    }
    if (!server_->bind_to_port(options_.bindAddress, options_.port)) return false;
    port_ = options_.port;
    return true;
}

std::string DemoServer::baseAddress() const {
    const bool anyAddress = options_.bindAddress == "0.0.0.0" || options_.bindAddress == "::";
    const std::string host = anyAddress ? "127.0.0.1" : options_.bindAddress;
    const bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port_);
}

void DemoServer::run() {
    runStarted_.store(true);
    if (!stopping_.load()) server_->listen_after_bind();
    runEnded_.store(true);
}

// The server can only be stopped once it listens; a run() that has begun is waited for until it
// does, one that has not yet begun sees stopping_ and does not listen at all.
void DemoServer::stop() {
    stopping_.store(true);
    if (runStarted_.load()) {
        while (!runEnded_.load() && !server_->is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    server_->stop();
}

void DemoServer::addRoutes() {
    server_->Get("/downlist.htm", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(newsPage(), "text/html; charset=utf-8");
    });
    server_->Get(R"(/list/[123]/down\.ini)",
                 [this](const httplib::Request&, httplib::Response& response) {
                     response.set_content(downloadList(baseAddress(), options_.downValue),
                                          "text/plain; charset=gbk");
                 });
    // The path arrives percent-decoded: a Chinese name as its GBK bytes.
    server_->Get(R"(/mirror[123]/dl/([^/]+))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     serveClientFile(request.matches[1].str(), request, response);
                 });
}

void DemoServer::serveClientFile(const std::string& name, const httplib::Request& request,
                                 httplib::Response& response) {
    if (!isClientFileName(name)) {
        response.status = 404;
        return;
    }
    const std::int64_t size = options_.fileBytes;
    const std::string tag = entityTag(name, size);
    ByteRange range{ByteRange::Kind::Whole, 0, size - 1};
    if (rangeStillApplies(request, tag)) {
        range = selectByteRange(request.get_header_value("Range"), size);
    }
    response.set_header("Accept-Ranges", "bytes");
    response.set_header("ETag", tag);
    response.set_header("Last-Modified", kLastModified);
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (range.kind == ByteRange::Kind::Partial) {
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                 std::to_string(range.last) + "/" +
                                                 std::to_string(size));
    }
    streamFileBytes(name, range.first, range.last - range.first + 1, response);
}

// Produces the bytes chunk by chunk as the connection takes them, at the throttle's pace.
void DemoServer::streamFileBytes(const std::string& name, std::int64_t first, std::int64_t length,
                                 httplib::Response& response) {
    if (length <= 0) {
        response.set_content("", "application/octet-stream");
        return;
    }
    auto pacer = std::make_shared<Pacer>(options_.bytesPerSecond);
    response.set_content_provider(
        static_cast<std::size_t>(length), "application/octet-stream",
        [this, name, first, pacer](std::size_t offset, std::size_t remaining,
                                   httplib::DataSink& sink) {
            if (stopping_.load()) return false;
            std::string chunk;
            const std::size_t count = std::min(remaining, kChunkBytes);
            fillClientFileBytes(name, static_cast<std::uint64_t>(first) + offset, chunk, count);
            if (!sink.write(chunk.data(), chunk.size())) return false;
            pacer->waitFor(count, stopping_);
            return true;
        });
}

}  // namespace quorvane::demo
