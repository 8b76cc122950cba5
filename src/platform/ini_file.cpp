#include "platform/ini_file.h"

#include "platform/file_system.h"

#include <iterator>
#include <system_error>

namespace quorvane::platform {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Lower-cases ASCII letters only, stepping over GBK double-byte characters so that a trail byte
// that happens to look like a capital letter is left alone.
std::string foldedName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto byte = static_cast<unsigned char>(folded[i]);
        if (byte >= 0x81 && byte <= 0xFE) {
            ++i;
        } else if (byte >= 'A' && byte <= 'Z') {
            folded[i] = static_cast<char>(byte - 'A' + 'a');
        }
    }
    return folded;
}

std::string mapKey(std::string_view section, std::string_view key) {
    std::string joined = foldedName(trimmed(section));
    joined += '\n';
    joined += foldedName(trimmed(key));
    return joined;
}

// A "[name]" line gives the name; anything after the closing bracket is ignored.
bool readSectionHeader(std::string_view line, std::string& section) {
    if (line.empty() || line.front() != '[') return false;
    const auto close = line.find(']');
    section = foldedName(
        trimmed(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
    return true;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument document;
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    if (bytes.starts_with(kUtf8Mark)) {
        document.markedUtf8_ = true;
        bytes.remove_prefix(kUtf8Mark.size());
    }
    std::string section;
    bool inSection = false;
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const std::string_view line = trimmed(bytes.substr(0, end));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (readSectionHeader(line, section)) {
            inSection = true;
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        if (key.empty()) continue;
        // emplace keeps the first of duplicated keys.
        document.values_.emplace(section + '\n' + foldedName(key),
                                 std::string(trimmed(line.substr(equals + 1))));
    }
    return document;
}

IniDocument IniDocument::load(const std::filesystem::path& file, std::size_t maxBytes) {
    const auto bytes = readWholeFile(file, maxBytes);
    return bytes ? parse(*bytes) : IniDocument();
}

std::string IniDocument::value(std::string_view section, std::string_view key) const {
    const auto found = values_.find(mapKey(section, key));
    return found == values_.end() ? std::string() : found->second;
}

std::string readIniValue(const std::filesystem::path& file, std::string_view section,
                         std::string_view key) {
    return IniDocument::load(file).value(section, key);
}

}  // namespace quorvane::platform
