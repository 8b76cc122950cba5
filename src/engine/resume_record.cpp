#include "engine/resume_record.h"

#include <charconv>
#include <vector>

#include "engine/part_name.h"
#include "engine/sha256.h"

namespace quorvane::engine {
namespace {

constexpr std::string_view kHeader = "quorvane-resume 1\n";
constexpr std::size_t kMostRanges = 100000;
constexpr std::size_t kLongestValue = 16 * 1024;

bool safeValue(std::string_view value) {
    return value.size() <= kLongestValue && value.find('\n') == std::string_view::npos &&
           value.find('\r') == std::string_view::npos;
}

std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || text.empty() ||
        (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    return value;
}

// Splits "key value" lines; the value may be empty.
bool nextLine(std::string_view& text, std::string_view& key, std::string_view& value) {
    auto newline = text.find('\n');
    if (newline == std::string_view::npos) return false;
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline + 1);
    auto space = line.find(' ');
    if (space == std::string_view::npos) return false;
    key = line.substr(0, space);
    value = line.substr(space + 1);
    return true;
}

}  // namespace

std::string serializeRecord(const ResumeRecord& record) {
    std::string text(kHeader);
    text += "url " + record.url + "\n";
    text += "size " + std::to_string(record.size) + "\n";
    text += "etag " + record.etag + "\n";
    text += "modified " + record.lastModified + "\n";
    for (const auto& range : record.done.ranges()) {
        text += "done " + std::to_string(range.begin) + " " + std::to_string(range.end) + "\n";
    }
    text += "check " + Sha256::hexOf(text) + "\n";
    return text;
}

std::optional<ResumeRecord> parseRecord(std::string_view text) {
    if (text.size() > kLargestRecord || !text.starts_with(kHeader)) return std::nullopt;
    auto check = text.rfind("check ");
    if (check == std::string_view::npos ||
        text.substr(check) != "check " + Sha256::hexOf(text.substr(0, check)) + "\n") {
        return std::nullopt;
    }
    std::string_view rest = text.substr(kHeader.size(), check - kHeader.size());
    ResumeRecord record;
    std::string_view key, value;
    const std::string_view order[] = {"url", "size", "etag", "modified"};
    for (auto expected : order) {
        if (!nextLine(rest, key, value) || key != expected || !safeValue(value)) {
            return std::nullopt;
        }
        if (key == "url") record.url = value;
        if (key == "etag") record.etag = value;
        if (key == "modified") record.lastModified = value;
        if (key == "size") {
            auto size = number(value);
            if (!size) return std::nullopt;
            record.size = *size;
        }
    }
    std::int64_t lastEnd = -1;
    std::size_t count = 0;
    while (!rest.empty()) {
        if (!nextLine(rest, key, value) || key != "done" || ++count > kMostRanges) {
            return std::nullopt;
        }
        auto space = value.find(' ');
        if (space == std::string_view::npos) return std::nullopt;
        auto begin = number(value.substr(0, space));
        auto end = number(value.substr(space + 1));
        // Sorted, disjoint and inside the file, as they were written.
        if (!begin || !end || *begin <= lastEnd || *begin >= *end || *end > record.size) {
            return std::nullopt;
        }
        record.done.add(*begin, *end);
        lastEnd = *end;
    }
    return record;
}

ResumeFiles resumeFilesFor(const std::filesystem::path& target) {
    ResumeFiles files;
    files.target = target;
    files.part = target.parent_path() / hiddenFileName(target.filename(), ".part");
    files.record = target.parent_path() / hiddenFileName(target.filename(), ".prec");
    return files;
}

std::filesystem::path ResumeFiles::staging(std::string_view tag) const {
    return target.parent_path() / stagingFileName(target.filename(), tag);
}

}  // namespace quorvane::engine
