#pragma once

// Around the target files: freeing their names before a queue starts, marking finished pairs,
// the completion prompt and the open-folder button.

#include <string>

namespace quorvane {

struct Context;

// Deletes old files under the target names, or prefixes every target with "最新" (up to three
// times) when one cannot be deleted; shows which archive to unpack. False when a target could
// not be freed.
bool prepareTargets(Context& c);

// Marks the pair of the given source finished; when none is left, offers to open the folder.
void finishQueueItem(Context& c, const std::string& source);

void openDownloadFolder(Context& c);

}  // namespace quorvane
