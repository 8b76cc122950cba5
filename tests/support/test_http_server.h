#pragma once

// A fault-injecting HTTP/1.1 server on 127.0.0.1 for tests. It serves files with single byte
// ranges, remembers every request and the connection it came on, checks the Range headers it
// receives and plays back faults: refused ranges, wrong Content-Range, errors, bodies cut short or
// stalled, redirects, a file that changes, a size it does not have.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace quorvane::testing {

struct Faults {
    bool ignoreRanges = false;    // answers 200 with the whole file to a range request
    std::int64_t shiftRange = 0;  // Content-Range and bytes start this far off the request
    int failFirst = 0;            // the first N requests get failStatus
    int failStatus = 503;
    int cutFirst = 0;  // the first N bodies end after cutAfter bytes
    std::int64_t cutAfter = 0;
    int stallFirst = 0;  // the first N bodies pause stallFor after stallAfter bytes
    std::int64_t stallAfter = 0;
    std::chrono::milliseconds stallFor{0};
    bool noContentLength = false;     // the whole file, chunked, ranges ignored
    int changeAfter = 0;              // from request N+1 on, the file has another ETag
    std::int64_t announcedSize = -1;  // the size the headers claim, when not -1
    std::int64_t bytesPerSecond = 0;  // per response, 0 for no limit
    // Every k-th TCP connection the server has seen (counted from 1) sends at slowBytesPerSecond
    // instead: a slow path among fast ones.
    int slowConnectionEvery = 0;
    std::int64_t slowBytesPerSecond = 0;
    std::string etag;          // when not empty, the ETag of every response
    bool noEtag = false;       // no ETag at all
    std::string lastModified;  // when not empty, the Last-Modified of every response
    // The first request of every connection is answered this much later: a long path's set-up.
    std::chrono::milliseconds handshake{0};
};

struct RequestRecord {
    std::string path;
    std::string range;   // the Range header as received, empty when none
    int remotePort = 0;  // tells the TCP connections apart
    std::string method;
};

// The bytes of a pattern file: cheap to produce at any offset, unlikely to line up by chance.
char patternByte(std::int64_t offset);
std::string patternBytes(std::int64_t size);

class TestHttpServer {
  public:
    // resetConnections: a closed connection ends with a TCP reset instead of an orderly close.
    explicit TestHttpServer(bool resetConnections = false);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;

    void serve(const std::string& path, std::string bytes, Faults faults = {});
    // A file of this size filled with patternBytes, never held in memory.
    void servePattern(const std::string& path, std::int64_t size, Faults faults = {});
    void redirect(const std::string& path, const std::string& location);
    void answerStatus(const std::string& path, int status);

    std::vector<RequestRecord> requests() const;
    // Bytes of `path` that GET requests from the request numbered `fromRequest` (counted from 0)
    // on asked for, each byte counted once however often it was asked: what a resume had to
    // fetch, unblurred by tails asked twice or by bytes a cut connection never read.
    std::int64_t distinctBytesAsked(const std::string& path, std::size_t fromRequest) const;
    // Range headers that were not one well-formed "bytes=a-b" inside the file.
    int badRangeHeaders() const;
    int connectionsSeen() const;
    // Bytes of file bodies written to the connections so far.
    std::int64_t bodyBytesSent() const { return sent_->load(); }
    // Stops every stalled or throttled body at once (for quick shutdowns).
    void releaseStalls();

  private:
    struct Resource;
    void handle(const httplib::Request& request, httplib::Response& response);
    void answerFile(const std::shared_ptr<Resource>& resource, int requestNumber,
                    int connectionNumber, const httplib::Request& request,
                    httplib::Response& response);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Resource>> resources_;
    std::vector<RequestRecord> requests_;
    std::map<int, int> connectionNumbers_;  // by remote port, from 1 in the order first seen
    int badRanges_ = 0;
    std::shared_ptr<std::atomic<bool>> releasing_;
    std::shared_ptr<std::atomic<std::int64_t>> sent_;
};

}  // namespace quorvane::testing
