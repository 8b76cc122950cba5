#include "byte_range.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

namespace quorvane::demo {

namespace {

std::optional<std::int64_t> readPosition(std::string_view digits) {
    std::int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || value < 0) return std::nullopt;
    return value;
}

ByteRange partial(std::int64_t first, std::int64_t last) {
    return {ByteRange::Kind::Partial, first, last};
}

}  // namespace

ByteRange selectByteRange(std::string_view rangeHeader, std::int64_t fileSize) {
    constexpr std::string_view kUnit = "bytes=";
    const ByteRange whole{ByteRange::Kind::Whole, 0, fileSize - 1};
    if (!rangeHeader.starts_with(kUnit)) return whole;
    const std::string_view requested = rangeHeader.substr(kUnit.size());
    const auto dash = requested.find('-');
    if (dash == std::string_view::npos || requested.find(',') != std::string_view::npos)
        return whole;
    const std::string_view firstText = requested.substr(0, dash);
    const std::string_view lastText = requested.substr(dash + 1);

    if (firstText.empty()) {  // the last N bytes
        const auto count = readPosition(lastText);
        if (!count) return whole;
        if (*count == 0 || fileSize == 0) return {ByteRange::Kind::Unsatisfiable, 0, 0};
        return partial(*count >= fileSize ? 0 : fileSize - *count, fileSize - 1);
    }
    const auto first = readPosition(firstText);
    const auto last =
        lastText.empty() ? std::optional<std::int64_t>(INT64_MAX) : readPosition(lastText);
    if (!first || !last || *last < *first) return whole;
    if (*first >= fileSize) return {ByteRange::Kind::Unsatisfiable, 0, 0};
    return partial(*first, std::min(*last, fileSize - 1));
}

}  // namespace quorvane::demo
