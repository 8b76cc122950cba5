#pragma once

// Which byte ranges of a file are on disk: sorted, disjoint, merged [begin, end) intervals.

#include <cstdint>
#include <vector>

namespace quorvane::engine {

struct ByteRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;  // exclusive
    bool operator==(const ByteRange&) const = default;
};

class RangeSet {
  public:
    void add(std::int64_t begin, std::int64_t end);
    void clear() { ranges_.clear(); }
    // Keeps only what lies inside [0, limit).
    void clip(std::int64_t limit);

    // The gaps of [0, size) that are not in the set.
    std::vector<ByteRange> missing(std::int64_t size) const;
    // End of the range that starts at 0, or 0.
    std::int64_t prefixEnd() const;
    std::int64_t total() const;
    bool empty() const { return ranges_.empty(); }
    const std::vector<ByteRange>& ranges() const { return ranges_; }
    bool operator==(const RangeSet&) const = default;

  private:
    std::vector<ByteRange> ranges_;
};

}  // namespace quorvane::engine
