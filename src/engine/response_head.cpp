#include "engine/response_head.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace quorvane::engine {
namespace {

constexpr std::size_t kLongestValidator = 256;

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// "1.1", "2" or "3".
bool isHttpVersion(std::string_view version) {
    if (version.size() == 1) return isDigit(version[0]);
    return version.size() == 3 && isDigit(version[0]) && version[1] == '.' && isDigit(version[2]);
}

// Every coding named in a Content-Encoding or Transfer-Encoding value, except the ones that leave
// the body as the file's bytes (libcurl itself undoes chunked).
bool namesAnEncoding(std::string_view value) {
    while (!value.empty()) {
        auto comma = value.find(',');
        auto coding = trim(value.substr(0, comma));
        if (!coding.empty() && !equalsIgnoringCase(coding, "identity") &&
            !equalsIgnoringCase(coding, "chunked")) {
            return true;
        }
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

bool sameValidator(const std::string& before, const std::string& now) {
    return before.empty() || now.empty() || before == now;
}

}  // namespace

std::optional<std::int64_t> parseByteCount(std::string_view text) {
    if (!allDigits(text) || text.size() > 19) return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int> parseStatusLine(std::string_view line) {
    constexpr std::string_view prefix = "HTTP/";
    auto space = line.find(' ');
    if (!line.starts_with(prefix) || space == std::string_view::npos ||
        !isHttpVersion(line.substr(prefix.size(), space - prefix.size()))) {
        return std::nullopt;
    }
    auto rest = line.substr(space + 1);
    if (rest.size() < 3 || !allDigits(rest.substr(0, 3)) || (rest.size() > 3 && rest[3] != ' ')) {
        return std::nullopt;
    }
    int status = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
    if (status < 100) return std::nullopt;
    return status;
}

std::optional<ContentRange> parseContentRange(std::string_view value) {
    value = trim(value);
    constexpr std::string_view unit = "bytes ";
    if (value.size() <= unit.size() || !equalsIgnoringCase(value.substr(0, unit.size()), unit)) {
        return std::nullopt;
    }
    value.remove_prefix(unit.size());
    auto dash = value.find('-');
    auto slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) {
        return std::nullopt;
    }
    auto first = parseByteCount(value.substr(0, dash));
    auto last = parseByteCount(value.substr(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first) return std::nullopt;
    ContentRange range{*first, *last, -1};
    auto totalText = value.substr(slash + 1);
    if (totalText == "*") return range;
    auto total = parseByteCount(totalText);
    if (!total || *total <= *last) return std::nullopt;
    range.total = *total;
    return range;
}

void ResponseHead::addLine(std::string_view line) {
    line = trim(line);
    if (line.starts_with("HTTP/")) {
        *this = ResponseHead{};
        status = parseStatusLine(line).value_or(0);
        return;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    auto name = trim(line.substr(0, colon));
    auto value = trim(line.substr(colon + 1));
    if (equalsIgnoringCase(name, "content-range")) {
        contentRange = parseContentRange(value);
        if (!contentRange) contentRange = ContentRange{-1, -1, -1};  // present but unreadable
    } else if (equalsIgnoringCase(name, "content-length")) {
        contentLength = parseByteCount(value);
        contentLengthInvalid = !contentLength;
    } else if (equalsIgnoringCase(name, "content-encoding") ||
               equalsIgnoringCase(name, "transfer-encoding")) {
        encoded = encoded || namesAnEncoding(value);
    } else if (equalsIgnoringCase(name, "etag") && value.size() <= kLongestValidator) {
        etag = value;
    } else if (equalsIgnoringCase(name, "last-modified") && value.size() <= kLongestValidator) {
        lastModified = value;
    }
}

bool namesAVersion(const FileIdentity& identity) {
    const bool strongEtag = !identity.etag.empty() && !identity.etag.starts_with("W/");
    return strongEtag || !identity.lastModified.empty();
}

FileIdentity identityOf(const ResponseHead& head) {
    FileIdentity identity{-1, head.etag, head.lastModified};
    if (head.status == 206 && head.contentRange) {
        identity.size = head.contentRange->total;
    } else if (head.status == 200 && head.contentLength) {
        identity.size = *head.contentLength;
    }
    return identity;
}

Verdict checkResponse(const ResponseHead& head, const RequestedRange& asked,
                      const std::optional<FileIdentity>& known) {
    if (head.contentLengthInvalid) return Verdict::malformed;
    // Encoded bytes are not the file's bytes, whatever range they claim to be.
    if (head.encoded) return Verdict::mismatch;
    if (known) {
        auto now = identityOf(head);
        bool sizeDiffers = now.size >= 0 && known->size >= 0 && now.size != known->size;
        if (sizeDiffers || !sameValidator(known->etag, now.etag) ||
            !sameValidator(known->lastModified, now.lastModified)) {
            return Verdict::changed;
        }
    }
    if (!asked.ranged) return head.status == 200 ? Verdict::accept : Verdict::mismatch;
    if (head.status == 200) return Verdict::ignoresRanges;
    if (head.status != 206 || !head.contentRange || head.contentRange->total < 0) {
        return Verdict::mismatch;
    }
    const auto& range = *head.contentRange;
    // The file may be shorter than the first request asked for.
    std::int64_t expectedLast = std::min(asked.last, range.total - 1);
    if (range.first != asked.first || range.last != expectedLast) return Verdict::mismatch;
    if (head.contentLength && *head.contentLength != range.last - range.first + 1) {
        return Verdict::mismatch;
    }
    return Verdict::accept;
}

}  // namespace quorvane::engine
