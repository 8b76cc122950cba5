#pragma once

// The small record kept beside a partly downloaded file: which source and which version of the
// file it holds, and which byte ranges are safely on disk. A later job for the same source and
// target resumes from it when the server still describes the same file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/range_set.h"

namespace quorvane::engine {

struct ResumeRecord {
    std::string url;
    std::int64_t size = -1;
    std::string etag;
    std::string lastModified;
    RangeSet done;
};

// Text of a few lines, ending with a digest of everything before it, so that a torn or altered
// record is never trusted.
std::string serializeRecord(const ResumeRecord& record);
// Nothing for anything malformed, too large, or whose digest does not match.
std::optional<ResumeRecord> parseRecord(std::string_view text);

inline constexpr std::size_t kLargestRecord = 1 << 20;

// The names kept beside a target: the partly written file and its record.
struct ResumeFiles {
    std::filesystem::path target;
    std::filesystem::path part;
    std::filesystem::path record;
    // Where the record's next version is written before it replaces the record: a new name for
    // every version, so that nothing already there is ever written through.
    std::filesystem::path staging(std::string_view tag) const;
};
ResumeFiles resumeFilesFor(const std::filesystem::path& target);

}  // namespace quorvane::engine
