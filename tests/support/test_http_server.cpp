#include "support/test_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <functional>

namespace quorvane::testing {

struct TestHttpServer::Resource {
    std::string bytes;
    std::int64_t patternSize = -1;  // when not -1, bytes is empty and the pattern is served
    Faults faults;
    std::optional<std::string> redirectTo;
    int status = 0;
    int requestCount = 0;

    std::int64_t size() const {
        return patternSize >= 0 ? patternSize : static_cast<std::int64_t>(bytes.size());
    }
    char at(std::int64_t offset) const {
        return patternSize >= 0 ? patternByte(offset) : bytes[static_cast<std::size_t>(offset)];
    }
};

namespace {

struct Span {
    std::int64_t first = 0;
    std::int64_t last = 0;
};

std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// "bytes=a-b" with a <= b < size, or "bytes=a-" with a < size.
std::optional<Span> parseRange(std::string_view header, std::int64_t size) {
    constexpr std::string_view prefix = "bytes=";
    if (!header.starts_with(prefix)) return std::nullopt;
    header.remove_prefix(prefix.size());
    auto dash = header.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    auto first = number(header.substr(0, dash));
    auto lastText = header.substr(dash + 1);
    auto last = lastText.empty() ? std::optional<std::int64_t>(size - 1) : number(lastText);
    if (!first || !last || *first > *last || *first >= size) return std::nullopt;
    return Span{*first, std::min(*last, size - 1)};
}

bool waitOrRelease(std::chrono::milliseconds pause, const std::atomic<bool>& releasing) {
    auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until) {
        if (releasing.load()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct BodyPlan {
    std::int64_t first = 0;
    std::int64_t length = 0;
    bool cut = false;
    std::int64_t cutAfter = 0;
    bool stall = false;
    std::int64_t stallAfter = 0;
    std::chrono::milliseconds stallFor{0};
    std::int64_t bytesPerSecond = 0;
};

using ByteSource = std::function<char(std::int64_t)>;

// Sends the body from offset on, playing back the plan's faults; false drops the connection.
bool writeBody(const ByteSource& byteAt, BodyPlan& plan, std::size_t offset,
               httplib::DataSink& sink, const std::atomic<bool>& releasing,
               std::atomic<std::int64_t>& counter) {
    constexpr std::int64_t kChunk = 16 * 1024;
    auto start = std::chrono::steady_clock::now();
    std::int64_t sent = static_cast<std::int64_t>(offset);
    std::string chunk;
    while (sent < plan.length) {
        if (plan.cut && sent >= plan.cutAfter) return false;
        if (plan.stall && sent >= plan.stallAfter) {
            plan.stall = false;
            if (!waitOrRelease(plan.stallFor, releasing)) return false;
        }
        std::int64_t n = std::min(kChunk, plan.length - sent);
        if (plan.cut) n = std::min(n, std::max<std::int64_t>(1, plan.cutAfter - sent));
        if (plan.stall) n = std::min(n, plan.stallAfter - sent);
        chunk.resize(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = byteAt(plan.first + sent + static_cast<std::int64_t>(i));
        }
        if (!sink.write(chunk.data(), chunk.size())) return false;
        counter += n;
        sent += n;
        if (plan.bytesPerSecond > 0) {
            auto due = start + std::chrono::microseconds(sent * 1'000'000 / plan.bytesPerSecond);
            auto pause = std::chrono::duration_cast<std::chrono::milliseconds>(
                due - std::chrono::steady_clock::now());
            if (!waitOrRelease(pause, releasing)) return false;
        }
    }
    return true;
}

void setBody(httplib::Response& response, BodyPlan plan, ByteSource byteAt, bool chunked,
             std::shared_ptr<std::atomic<bool>> releasing,
             std::shared_ptr<std::atomic<std::int64_t>> counter) {
    constexpr const char* kType = "application/octet-stream";
    if (plan.length == 0 && !chunked) {
        response.set_content("", kType);
    } else if (chunked) {
        response.set_chunked_content_provider(
            kType, [=](std::size_t offset, httplib::DataSink& sink) mutable {
                if (!writeBody(byteAt, plan, offset, sink, *releasing, *counter)) return false;
                sink.done();
                return true;
            });
    } else {
        response.set_content_provider(
            static_cast<std::size_t>(plan.length), kType,
            [=](std::size_t offset, std::size_t, httplib::DataSink& sink) mutable {
                return writeBody(byteAt, plan, offset, sink, *releasing, *counter);
            });
    }
}

}  // namespace

char patternByte(std::int64_t offset) {
    auto block = static_cast<std::uint64_t>(offset) / 251;
    return static_cast<char>((offset * 7 + block * 13 + (block >> 8)) & 0xff);
}

std::string patternBytes(std::int64_t size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::int64_t i = 0; i < size; ++i) bytes[static_cast<std::size_t>(i)] = patternByte(i);
    return bytes;
}

TestHttpServer::TestHttpServer(bool resetConnections)
    : server_(std::make_unique<httplib::Server>()),
      releasing_(std::make_shared<std::atomic<bool>>(false)),
      sent_(std::make_shared<std::atomic<std::int64_t>>(0)) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_max_count(100000);
    server_->set_keep_alive_timeout(30);
    if (resetConnections) {
        server_->set_socket_options([](socket_t socket) {
            int yes = 1;
            // The casts suit both socket interfaces: Winsock takes char pointers.
            setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                       sizeof yes);
            linger abortive{1, 0};
            setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
                       sizeof abortive);
        });
    }
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response);
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only works on a running server.
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestHttpServer::~TestHttpServer() {
    releasing_->store(true);
    server_->stop();
    thread_.join();
}

std::string TestHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::serve(const std::string& path, std::string bytes, Faults faults) {
    auto resource = std::make_shared<Resource>();
    resource->bytes = std::move(bytes);
    resource->faults = faults;
    std::lock_guard lock(mutex_);
    resources_[path] = resource;
}

void TestHttpServer::servePattern(const std::string& path, std::int64_t size, Faults faults) {
    auto resource = std::make_shared<Resource>();
    resource->patternSize = size;
    resource->faults = faults;
    std::lock_guard lock(mutex_);
    resources_[path] = resource;
}

void TestHttpServer::redirect(const std::string& path, const std::string& location) {
    auto resource = std::make_shared<Resource>();
    resource->redirectTo = location;
    std::lock_guard lock(mutex_);
    resources_[path] = resource;
}

void TestHttpServer::answerStatus(const std::string& path, int status) {
    auto resource = std::make_shared<Resource>();
    resource->status = status;
    std::lock_guard lock(mutex_);
    resources_[path] = resource;
}

std::vector<RequestRecord> TestHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::int64_t TestHttpServer::distinctBytesAsked(const std::string& path,
                                               std::size_t fromRequest) const {
    std::lock_guard lock(mutex_);
    auto resource = resources_.find(path);
    if (resource == resources_.end()) return 0;
    const std::int64_t size = resource->second->size();
    std::vector<Span> spans;
    for (std::size_t i = fromRequest; i < requests_.size(); ++i) {
        const auto& record = requests_[i];
        if (record.path != path || record.method != "GET") continue;
        if (record.range.empty()) {
            spans.push_back({0, size - 1});
        } else if (auto span = parseRange(record.range, size)) {
            spans.push_back(*span);
        }
    }
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.first < b.first; });
    std::int64_t counted = 0;
    std::int64_t next = 0;  // the first byte not yet counted
    for (const auto& span : spans) {
        const auto first = std::max(span.first, next);
        if (span.last >= first) counted += span.last - first + 1;
        next = std::max(next, span.last + 1);
    }
    return counted;
}

int TestHttpServer::badRangeHeaders() const {
    std::lock_guard lock(mutex_);
    return badRanges_;
}

int TestHttpServer::connectionsSeen() const {
    std::lock_guard lock(mutex_);
    std::set<int> ports;
    for (const auto& record : requests_) ports.insert(record.remotePort);
    return static_cast<int>(ports.size());
}

void TestHttpServer::releaseStalls() {
    releasing_->store(true);
}

void TestHttpServer::handle(const httplib::Request& request, httplib::Response& response) {
    // The server's own range handling would hide what we want to play back.
    const_cast<httplib::Request&>(request).ranges.clear();
    std::shared_ptr<Resource> resource;
    int number = 0;
    int connection = 0;
    bool newConnection = false;
    {
        std::lock_guard lock(mutex_);
        auto range = request.get_header_value("Range");
        requests_.push_back({request.path, range, request.remote_port, request.method});
        auto [numbered, inserted] = connectionNumbers_.try_emplace(
            request.remote_port, static_cast<int>(connectionNumbers_.size()) + 1);
        connection = numbered->second;
        newConnection = inserted;
        auto found = resources_.find(request.path);
        if (found == resources_.end()) {
            response.status = 404;
            return;
        }
        resource = found->second;
        number = ++resource->requestCount;
        if (!range.empty() && resource->status == 0 && !resource->redirectTo &&
            !parseRange(range, resource->size())) {
            ++badRanges_;
        }
    }
    if (newConnection) std::this_thread::sleep_for(resource->faults.handshake);
    if (resource->redirectTo) {
        response.set_redirect(*resource->redirectTo, 302);
    } else if (resource->status != 0) {
        response.status = resource->status;
    } else {
        answerFile(resource, number, connection, request, response);
    }
}

void TestHttpServer::answerFile(const std::shared_ptr<Resource>& resource, int number,
                                int connection, const httplib::Request& request,
                                httplib::Response& response) {
    const Faults& faults = resource->faults;
    if (number <= faults.failFirst) {
        response.status = faults.failStatus;
        return;
    }
    std::int64_t size = resource->size();
    std::int64_t claimedSize = faults.announcedSize >= 0 ? faults.announcedSize : size;
    bool changed = faults.changeAfter > 0 && number > faults.changeAfter;
    if (!faults.noEtag) {
        response.set_header("ETag", !faults.etag.empty() ? faults.etag
                                    : changed            ? "\"second\""
                                                         : "\"first\"");
    }
    if (!faults.lastModified.empty()) response.set_header("Last-Modified", faults.lastModified);
    response.set_header("Accept-Ranges", "bytes");
    Span span{0, size - 1};
    auto range = request.get_header_value("Range");
    response.status = 200;
    if (!range.empty() && !faults.ignoreRanges && !faults.noContentLength) {
        auto asked = parseRange(range, claimedSize);
        if (!asked) {
            response.status = 416;
            return;
        }
        span = {asked->first + faults.shiftRange,
                std::min(asked->last + faults.shiftRange, size - 1)};
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(span.first) + "-" +
                                                 std::to_string(span.last) + "/" +
                                                 std::to_string(claimedSize));
    }
    BodyPlan plan{span.first,
                  std::max<std::int64_t>(0, span.last - span.first + 1),
                  number <= faults.cutFirst,
                  faults.cutAfter,
                  number <= faults.stallFirst,
                  faults.stallAfter,
                  faults.stallFor,
                  faults.slowConnectionEvery > 0 && connection % faults.slowConnectionEvery == 0
                      ? faults.slowBytesPerSecond
                      : faults.bytesPerSecond};
    setBody(
        response, plan, [resource](std::int64_t offset) { return resource->at(offset); },
        faults.noContentLength, releasing_, sent_);
}

}  // namespace quorvane::testing
