#include "engine/leftovers.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/part_file.h"
#include "engine/resume_record.h"

namespace quorvane::engine {
namespace {

namespace fs = std::filesystem;

struct Group {
    std::vector<fs::path> files;
    fs::file_time_type newest = fs::file_time_type::min();
    bool random = false;  // an earlier version's temporary name: never resumed
};

bool isHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The target name a leftover belongs to: ".<target>.part|.prec|.pnew", or ".<target>.<16 hex
// digits>.part" from earlier versions. Nothing for any other file.
std::optional<std::pair<std::string, bool>> targetOf(const std::string& name) {
    if (name.size() < 7 || name[0] != '.') return std::nullopt;
    const std::string_view suffix = std::string_view(name).substr(name.size() - 5);
    if (suffix != ".part" && suffix != ".prec" && suffix != ".pnew") return std::nullopt;
    std::string stem = name.substr(1, name.size() - 6);
    if (suffix == ".part" && stem.size() > 17 && stem[stem.size() - 17] == '.' &&
        isHex(std::string_view(stem).substr(stem.size() - 16))) {
        return std::make_pair(stem.substr(0, stem.size() - 17), true);
    }
    return std::make_pair(stem, false);
}

// File names as UTF-8 both ways: std::string conversions of a path use the ANSI code page on
// Windows, which cannot hold every name.
std::string utf8NameOf(const fs::path& file) {
    const std::u8string name = file.filename().u8string();
    return std::string(name.begin(), name.end());
}

fs::path pathFromUtf8(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

bool targetComplete(const fs::path& target, const fs::path& record) {
    std::error_code error;
    if (!fs::is_regular_file(target, error)) return false;
    auto text = readSmallFile(record, kLargestRecord);
    auto parsed = text ? parseRecord(*text) : std::nullopt;
    if (!parsed) return true;  // nothing to resume with anyway
    auto size = fs::file_size(target, error);
    return !error && static_cast<std::int64_t>(size) == parsed->size;
}

}  // namespace

void removeLeftovers(const fs::path& folder, std::chrono::hours age) {
    std::map<std::string, Group> groups;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        auto owner = targetOf(utf8NameOf(it->path()));
        if (!owner) continue;
        // Each random-named file stands alone; the others group by their target.
        std::string key = owner->second ? utf8NameOf(it->path()) : owner->first;
        Group& group = groups[key];
        group.random = owner->second;
        group.files.push_back(it->path());
        group.newest = std::max(group.newest, it->last_write_time(error));
    }
    const auto now = fs::file_time_type::clock::now();
    for (const auto& [key, group] : groups) {
        const fs::path target =
            folder / pathFromUtf8(targetOf(utf8NameOf(group.files.front()))->first);
        bool old = now - group.newest > age;
        bool done = targetComplete(target, resumeFilesFor(target).record);
        if (!old && !done) continue;
        for (const auto& file : group.files) removeFile(file);
    }
}

}  // namespace quorvane::engine
