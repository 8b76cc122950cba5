#include "engine/range_set.h"

#include <algorithm>

namespace quorvane::engine {

void RangeSet::add(std::int64_t begin, std::int64_t end) {
    if (begin >= end) return;
    // The first range that ends at or after begin may touch the new one.
    auto first = std::lower_bound(ranges_.begin(), ranges_.end(), begin,
                                  [](const ByteRange& r, std::int64_t at) { return r.end < at; });
    auto last = first;
    while (last != ranges_.end() && last->begin <= end) {
        begin = std::min(begin, last->begin);
        end = std::max(end, last->end);
        ++last;
    }
    first = ranges_.erase(first, last);
    ranges_.insert(first, ByteRange{begin, end});
}

void RangeSet::clip(std::int64_t limit) {
    std::erase_if(ranges_, [limit](const ByteRange& r) { return r.begin >= limit; });
    if (!ranges_.empty()) ranges_.back().end = std::min(ranges_.back().end, limit);
}

std::vector<ByteRange> RangeSet::missing(std::int64_t size) const {
    std::vector<ByteRange> gaps;
    std::int64_t at = 0;
    for (const auto& range : ranges_) {
        if (range.begin >= size) break;
        if (range.begin > at) gaps.push_back({at, range.begin});
        at = std::max(at, range.end);
    }
    if (at < size) gaps.push_back({at, size});
    return gaps;
}

std::int64_t RangeSet::prefixEnd() const {
    return !ranges_.empty() && ranges_.front().begin == 0 ? ranges_.front().end : 0;
}

std::int64_t RangeSet::total() const {
    std::int64_t sum = 0;
    for (const auto& range : ranges_) sum += range.end - range.begin;
    return sum;
}

}  // namespace quorvane::engine
