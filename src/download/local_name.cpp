#include "download/local_name.h"

#include <array>
#include <cstdint>

#include "list/text_edit.h"

namespace quorvane {

namespace {

constexpr std::array<std::string_view, 3> kLineTags = {"(网通下载)", "(联通下载)", "(电信下载)"};

// UTF-8 sequences of the bidirectional controls (U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069), which can make a name read differently from what it is.
bool isBidiControl(std::string_view text, std::size_t at) {
    if (at + 3 > text.size()) return false;
    const auto b0 = static_cast<std::uint8_t>(text[at]);
    const auto b1 = static_cast<std::uint8_t>(text[at + 1]);
    const auto b2 = static_cast<std::uint8_t>(text[at + 2]);
    if (b0 != 0xE2) return false;
    if (b1 == 0x80) return b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE);
    if (b1 == 0x81) return b2 >= 0xA6 && b2 <= 0xA9;
    return false;
}

bool isForbiddenByte(char ch) {
    const auto byte = static_cast<std::uint8_t>(ch);
    if (byte < 0x20 || byte == 0x7F) return true;
    return std::string_view(R"(<>:"/\|?*)").find(ch) != std::string_view::npos;
}

// One pass: drops what may not be in a name, and every dot that would lead the name (a hidden
// file) or follow another dot (no "..").
std::string cleanedCharacters(std::string_view name) {
    std::string kept;
    kept.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) {
        if (isBidiControl(name, at)) {
            at += 3;
            continue;
        }
        const char ch = name[at++];
        if (isForbiddenByte(ch) || (ch == '.' && (kept.empty() || kept.back() == '.'))) continue;
        kept += ch;
    }
    return kept;
}

void dropTrailingDotsAndBlanks(std::string& name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

bool isContinuationByte(char ch) {
    return (static_cast<std::uint8_t>(ch) & 0xC0) == 0x80;
}

// UTF-16 units of a UTF-8 text: one per character, two for those beyond the first plane.
std::size_t utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (const char ch : utf8) {
        if (!isContinuationByte(ch)) units += static_cast<std::uint8_t>(ch) >= 0xF0 ? 2 : 1;
    }
    return units;
}

// Longer extensions than this are cut like the rest of the name.
constexpr std::size_t kLongestKeptExtension = 32;

// Where the extension to keep starts: the first dot of the longest short tail (".part1.rar"
// rather than ".rar"); the name's end when there is none.
std::size_t extensionStart(std::string_view name) {
    std::size_t start = name.size();
    for (std::size_t dot = name.rfind('.');
         dot != std::string_view::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension;
         dot = name.rfind('.', dot - 1)) {
        start = dot;
    }
    return start;
}

// The stem is cut at a whole character so that stem and extension fit together.
std::optional<std::string> shortenedToFit(const std::string& name) {
    if (fileNameUnits(name) <= longestLocalName()) return name;
    const std::string_view whole(name);
    const std::size_t split = extensionStart(whole);
    const std::string_view extension = whole.substr(split);
    const std::size_t room = longestLocalName() - fileNameUnits(extension);
    std::size_t end = 0;
    std::size_t used = 0;
    while (end < split) {
        std::size_t next = end + 1;
        while (next < split && isContinuationByte(name[next])) ++next;
        used += fileNameUnits(whole.substr(end, next - end));
        if (used > room) break;
        end = next;
    }
    std::string stem = name.substr(0, end);
    dropTrailingDotsAndBlanks(stem);
    if (stem.empty()) return std::nullopt;
    return stem + std::string(extension);
}

bool isReservedDeviceName(std::string_view name) {
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && (base.back() == ' ')) base.pop_back();
    for (char& ch : base) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string_view serverFileName(std::string_view address) {
    const auto slash = address.rfind('/');
    return slash == std::string_view::npos ? address : address.substr(slash + 1);
}

bool hasDownloadableScheme(std::string_view address) {
    for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
        if (address.size() > scheme.size() &&
            containsIgnoringCase(address.substr(0, scheme.size()), scheme)) {
            return true;
        }
    }
    return false;
}

std::string displayStem(std::string_view chosenText) {
    std::string stem(chosenText);
    for (std::string_view tag : kLineTags) removeAll(stem, tag);
    return stem;
}

std::string localFileName(std::string_view displayStem, std::string_view serverName) {
    const auto dot = serverName.find('.');
    std::string name(displayStem);
    if (dot != std::string_view::npos) name += serverName.substr(dot);
    return name;
}

#ifdef _WIN32
constexpr bool kNamesCountUtf16Units = true;
#else
constexpr bool kNamesCountUtf16Units = false;
#endif

std::size_t fileNameUnits(std::string_view utf8Name) {
    return kNamesCountUtf16Units ? utf16Units(utf8Name) : utf8Name.size();
}

std::size_t longestLocalName() {
    return kLongestFileName - fileNameUnits("最新最新最新");
}

std::optional<std::string> safeFileName(std::string_view name) {
    std::string safe = cleanedCharacters(name);
    dropTrailingDotsAndBlanks(safe);
    if (safe.empty()) return std::nullopt;
    if (isReservedDeviceName(safe)) safe = "_" + safe;
    return shortenedToFit(safe);
}

}  // namespace quorvane
