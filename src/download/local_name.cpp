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

std::string withoutForbiddenCharacters(std::string_view name) {
    std::string kept;
    for (std::size_t at = 0; at < name.size();) {
        if (isBidiControl(name, at)) {
            at += 3;
        } else {
            if (!isForbiddenByte(name[at])) kept += name[at];
            ++at;
        }
    }
    return kept;
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

std::optional<std::string> safeFileName(std::string_view name) {
    std::string safe = withoutForbiddenCharacters(name);
    for (auto at = safe.find(".."); at != std::string::npos; at = safe.find("..")) {
        safe.erase(at, 1);
    }
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
    if (safe.empty() || safe == ".") return std::nullopt;
    if (isReservedDeviceName(safe)) safe = "_" + safe;
    return safe;
}

}  // namespace quorvane
