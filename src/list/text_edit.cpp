#include "list/text_edit.h"

#include <algorithm>

namespace quorvane {

namespace {

char lowerAscii(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

std::size_t findIgnoringCase(std::string_view text, std::string_view part, std::size_t from) {
    if (part.empty() || text.size() < part.size()) return std::string_view::npos;
    for (std::size_t at = from; at + part.size() <= text.size(); ++at) {
        if (std::equal(part.begin(), part.end(), text.begin() + static_cast<std::ptrdiff_t>(at),
                       [](char a, char b) { return lowerAscii(a) == lowerAscii(b); })) {
            return at;
        }
    }
    return std::string_view::npos;
}

}  // namespace

void removeAll(std::string& text, std::string_view marker) {
    if (marker.empty()) return;
    for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        text.erase(at, marker.size());
    }
}

std::string replaceAllIgnoringCase(std::string_view text, std::string_view from,
                                   std::string_view to) {
    std::string result;
    std::size_t copied = 0;
    for (auto at = findIgnoringCase(text, from, 0); at != std::string_view::npos;
         at = findIgnoringCase(text, from, copied)) {
        result.append(text.substr(copied, at - copied)).append(to);
        copied = at + from.size();
    }
    return result.append(text.substr(copied));
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return findIgnoringCase(text, part, 0) != std::string_view::npos;
}

std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace quorvane
