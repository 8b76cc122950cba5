#include "swarm/swarm_leftovers.h"

#include <string>

#include "engine/part_file.h"
#include "engine/part_name.h"

namespace quorvane::swarm {

namespace fs = std::filesystem;

fs::path resumeRecordFor(const fs::path& target) {
    return target.parent_path() / engine::hiddenFileName(target.filename(), ".srec");
}

// ".<target>.srec" and ".<target>.snew" (a record being written) belong to ".<target>.part",
// whose name is cut the same way: the suffixes are of one length.
void removeOrphanRecords(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path::string_type name = it->path().filename().native();
        const auto dot = fs::path(".").native();
        if (name.size() < 7 || name.substr(0, 1) != dot) continue;
        const auto suffix = fs::path(name.substr(name.size() - 5)).u8string();
        if (suffix != u8".srec" && suffix != u8".snew") continue;
        if (!it->is_regular_file(error)) continue;
        const fs::path part =
            folder / (name.substr(0, name.size() - 5) + fs::path(".part").native());
        if (!fs::exists(fs::symlink_status(part, error))) engine::removeFile(it->path());
    }
}

}  // namespace quorvane::swarm
