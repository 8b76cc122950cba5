#include "options.h"

#include <charconv>
#include <string_view>

namespace quorvane::checklist {
namespace {

constexpr int kLongestTimeout = 24 * 3600;

std::optional<std::chrono::seconds> secondsFrom(std::string_view text) {
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 1 ||
        seconds > kLongestTimeout) {
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

}  // namespace

std::optional<Options> parseOptions(int argc, const char* const* argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--hash") {
            options.hash = true;
        } else if (word == "--torrent" && i + 1 < argc) {
            options.tracker = argv[++i];
            if (options.tracker.empty()) return std::nullopt;
        } else if (word == "--timeout" && i + 1 < argc) {
            const auto timeout = secondsFrom(argv[++i]);
            if (!timeout) return std::nullopt;
            options.timeout = *timeout;
        } else if (options.list.empty() && !word.empty() && !word.starts_with("-")) {
            options.list = word;
        } else {
            return std::nullopt;
        }
    }
    if (options.list.empty()) return std::nullopt;
    return options;
}

}  // namespace quorvane::checklist
