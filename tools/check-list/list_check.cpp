#include "list_check.h"

#include <algorithm>
#include <charconv>

#include "engine/sha256.h"
#include "list/list_encoding.h"
#include "platform/gbk_text.h"
#include "platform/ini_file.h"

namespace quorvane::checklist {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The encoding as the program decides it, and what the operator should know about it.
void checkEncoding(std::string_view bytes, ListCheck& check) {
    switch (listEncodingOf(bytes)) {
        case ListEncoding::markedUtf8:
            check.encoding = "UTF-8 (marked)";
            if (!isValidUtf8(bytes.substr(kUtf8Mark.size()))) {
                check.problems.push_back(
                    "bytes that are not UTF-8 after the byte-order mark: save the list as UTF-8");
            }
            break;
        case ListEncoding::unmarkedUtf8:
            check.encoding = "UTF-8 (no mark)";
            check.notes.push_back(
                "UTF-8 without a byte-order mark: older programs read the list as GBK; save it "
                "with the mark, or as GBK");
            break;
        case ListEncoding::gbk:
            check.encoding = "GBK";
            if (platform::gbkToUtf8(bytes).find(kReplacement) != std::string::npos) {
                check.problems.push_back(
                    "bytes that are neither GBK nor UTF-8: save the list as GBK, or as UTF-8");
            }
            break;
    }
}
constexpr int kMostEntries = 1000;

// A count as the program reads it must be plain decimal digits here: the operator should not
// rely on how anything else is read.
bool count(const std::string& text, int& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() && value >= 0;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The other part's address: ".part1." and ".part2." exchanged, as the program derives it.
std::string otherPartOf(const std::string& address) {
    const std::string name = lower(serverName(address));
    const bool one = name.find(".part1.") != std::string::npos;
    const bool two = name.find(".part2.") != std::string::npos;
    if (!one && !two) return {};
    std::string other = address;
    const auto at = lower(other).rfind(one ? ".part1." : ".part2.");
    other[at + 5] = one ? '2' : '1';
    return other;
}

}  // namespace

std::string serverName(std::string_view address) {
    const auto slash = address.rfind('/');
    return std::string(slash == std::string_view::npos ? address : address.substr(slash + 1));
}

ListCheck checkListText(std::string_view bytes) {
    ListCheck check;
    checkEncoding(bytes, check);
    const std::string utf8 = listTextToUtf8(listEncodingOf(bytes), bytes);
    if (utf8.find("[Down]") == std::string::npos) check.problems.push_back("no [Down] section");
    const auto ini = platform::IniDocument::parse(utf8);
    const std::string down = ini.value("Down", "Down");
    if (down == "False") check.notes.push_back("Down=False: downloading is paused");
    if (down != "True" && down != "False") {
        check.problems.push_back("Down is \"" + down + "\": only True or False is understood");
    }
    int files = 0;
    if (!count(ini.value("Files", "Num"), files) || files == 0 || files > kMostEntries) {
        check.problems.push_back("Files/Num must be a number from 1 to 1000");
        files = std::clamp(files, 0, kMostEntries);
    }
    for (int i = 1; i <= files; ++i) {
        Entry entry{i,
                    ini.value("Name", "Name" + std::to_string(i)),
                    ini.value("Add", "Add" + std::to_string(i)),
                    {}};
        if (entry.name.empty()) check.problems.push_back("Name" + std::to_string(i) + " missing");
        if (serverName(entry.address).empty()) {
            check.problems.push_back("Add" + std::to_string(i) + " missing or ends in \"/\"");
        }
        entry.otherPart = otherPartOf(entry.address);
        check.entries.push_back(std::move(entry));
    }
    int rules = 0;
    const std::string rulesText = ini.value("LineOne", "Num");
    if (!rulesText.empty() && !count(rulesText, rules)) {
        check.problems.push_back("LineOne/Num is not a number");
    }
    for (int j = 1; j <= std::min(rules, kMostEntries); ++j) {
        int entry = 0;
        if (!count(ini.value("LineOne", "LineOne" + std::to_string(j)), entry) || entry < 1 ||
            entry > files) {
            check.problems.push_back("LineOne" + std::to_string(j) + " names no entry");
        }
    }
    // Every listed hash the program would look up, whether well formed.
    for (const auto& entry : check.entries) {
        for (const auto& address : {entry.address, entry.otherPart}) {
            const std::string name = serverName(address);
            if (address.empty() || name.empty()) continue;
            const std::string value = ini.value("Sha256", name);
            if (value.empty()) continue;
            if (!engine::normalisedSha256(value)) {
                check.problems.push_back("Sha256/" + name + " is not 64 hex digits");
            }
            if (std::find_if(check.listedSha256.begin(), check.listedSha256.end(),
                             [&](const auto& pair) { return pair.first == name; }) ==
                check.listedSha256.end()) {
                check.listedSha256.emplace_back(name, value);
            }
        }
    }
    return check;
}

}  // namespace quorvane::checklist
