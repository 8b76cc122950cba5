#pragma once

// The single byte range a request asks for, checked against the size of the file.

#include <cstdint>
#include <string_view>

namespace quorvane::demo {

struct ByteRange {
    enum class Kind { Whole, Partial, Unsatisfiable };
    Kind kind = Kind::Whole;
    std::int64_t first = 0;  // inclusive
    std::int64_t last = 0;   // inclusive
};

// Reads a Range header value such as "bytes=0-99", "bytes=100-" or "bytes=-50". An absent or
// malformed header, and a request for several ranges, give the whole file (a server may ignore
// Range); a range that starts at or beyond the end gives Unsatisfiable; an end beyond the file is
// cut to the file.
ByteRange selectByteRange(std::string_view rangeHeader, std::int64_t fileSize);

}  // namespace quorvane::demo
