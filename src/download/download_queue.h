#pragma once

// The start button: the chosen entry becomes the download queue.

#include <filesystem>
#include <string>

namespace quorvane {

struct Context;

// Queues the chosen entry's file, or both parts of a two-part archive, part one first, named
// after the entry in the download folder; then prepares the target files.
void composeDownloadQueue(Context& c);

// Appends one pair; false, leaving the queue as it was, for an empty text, a queue out of step
// or a source already queued.
bool appendQueuePair(Context& c, const std::string& source, const std::filesystem::path& target);

}  // namespace quorvane
