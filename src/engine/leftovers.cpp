#include "engine/leftovers.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "engine/part_file.h"
#include "engine/part_name.h"
#include "engine/resume_record.h"

namespace quorvane::engine {
namespace {

namespace fs = std::filesystem;

// File names as UTF-8 both ways: std::string conversions of a path use the ANSI code page on
// Windows, which cannot hold every name.
std::string utf8NameOf(const fs::path& file) {
    const std::u8string name = file.filename().u8string();
    return std::string(name.begin(), name.end());
}

fs::path pathFromUtf8(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

// ".<something>" + suffix, as all the hidden names are.
bool isHidden(const std::string& name, std::string_view suffix) {
    return name.size() > suffix.size() + 1 && name[0] == '.' && name.ends_with(suffix);
}

bool holdsRecord(const fs::path& file) {
    auto text = readSmallFile(file, kLargestRecord);
    return text && parseRecord(*text);
}

// The plain files of the folder by name, with the time each last changed. Decided without
// following links: a link is never one of the program's files, whatever it points at.
std::map<std::string, std::pair<fs::path, fs::file_time_type>> plainFilesIn(
    const fs::path& folder) {
    std::map<std::string, std::pair<fs::path, fs::file_time_type>> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code unreadable;
        if (it->symlink_status(unreadable).type() != fs::file_type::regular) continue;
        const auto changed = fs::last_write_time(it->path(), unreadable);
        if (unreadable) continue;
        files.emplace(utf8NameOf(it->path()), std::make_pair(it->path(), changed));
    }
    return files;
}

}  // namespace

void removeLeftovers(const fs::path& folder, std::chrono::hours age) {
    const auto files = plainFilesIn(folder);
    const auto now = fs::file_time_type::clock::now();
    auto old = [&](fs::file_time_type changed) { return now - changed > age; };
    std::set<std::string> recorded;  // part files that a record beside them proves to be ours
    for (const auto& [name, file] : files) {
        if (!isHidden(name, ".prec") || !holdsRecord(file.first)) continue;
        const std::string partName = name.substr(0, name.size() - 5) + ".part";
        recorded.insert(partName);
        const auto part = files.find(partName);
        if (part == files.end()) {
            std::error_code error;
            const auto there = fs::symlink_status(folder / pathFromUtf8(partName), error);
            if (!fs::exists(there)) removeFile(file.first);
            continue;
        }
        if (old(std::max(file.second, part->second.second)) &&
            removeUnusedPartFile(part->second.first)) {
            removeFile(file.first);
        }
    }
    for (const auto& [name, file] : files) {
        if (!old(file.second)) continue;
        if (isHidden(name, ".part") && !recorded.contains(name)) {
            removeUnusedPartFile(file.first);
        } else if (isHidden(name, ".pnew") && holdsRecord(file.first)) {
            removeFile(file.first);
        }
    }
}

void removeStagingLeftovers(const fs::path& target) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (const auto& [name, file] : plainFilesIn(folder)) {
        if (isStagingFileName(file.first.filename(), target.filename())) removeFile(file.first);
    }
}

}  // namespace quorvane::engine
