#pragma once

// The parts of an HTTP response head the engine trusts only after checking: status,
// Content-Range, Content-Length and the validators that tell whether the file has changed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::engine {

struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1;  // -1 for "*"
};

// "bytes 0-99/1000"; nothing for anything malformed or out of range.
std::optional<ContentRange> parseContentRange(std::string_view value);
// Decimal digits only (no sign, no blanks) that fit in 63 bits; nothing otherwise.
std::optional<std::int64_t> parseByteCount(std::string_view text);
// "HTTP/1.1 206 Partial Content": exactly three digits after the version; nothing otherwise.
std::optional<int> parseStatusLine(std::string_view line);

// Bytes of header lines one response may send; more is a broken or hostile server.
inline constexpr std::size_t kLongestResponseHead = 64 * 1024;

struct ResponseHead {
    int status = 0;
    std::optional<ContentRange> contentRange;
    std::optional<std::int64_t> contentLength;
    bool contentLengthInvalid = false;
    // Content-Encoding or Transfer-Encoding other than identity (and chunked): the body would not
    // be the file's bytes.
    bool encoded = false;
    std::string etag;
    std::string lastModified;

    // Feeds one header line as libcurl hands it over; a status line starts a new head (after a
    // redirect or an interim response).
    void addLine(std::string_view line);
};

// What identifies one version of the file on the server.
struct FileIdentity {
    std::int64_t size = -1;
    std::string etag;
    std::string lastModified;
};

// Whether the identity tells this version of the file from another of the same size: a strong
// ETag or a Last-Modified. A weak ETag (W/"...") vouches only for equivalent content, not for
// equal bytes, and so does nothing.
bool namesAVersion(const FileIdentity& identity);

// The byte range a request asked for; last is inclusive. Not ranged: the whole file.
struct RequestedRange {
    bool ranged = false;
    std::int64_t first = 0;
    std::int64_t last = 0;
};

enum class Verdict {
    accept,         // the body is exactly what was asked for
    ignoresRanges,  // a whole file where a range was asked for
    mismatch,       // a range other than the one asked for, or an unexpected status
    changed,        // the file is not the one the earlier responses described
    malformed,      // a head no correct server sends; asking again cannot help
};

// Checks a successful response before its first byte is written. known is the identity from the
// earlier responses of the job, if any.
Verdict checkResponse(const ResponseHead& head, const RequestedRange& asked,
                      const std::optional<FileIdentity>& known);

// The identity a checked response describes (size -1 when it does not tell).
FileIdentity identityOf(const ResponseHead& head);

}  // namespace quorvane::engine
