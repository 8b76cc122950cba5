#pragma once

// The command line of quorvane-check-list.

#include <chrono>
#include <optional>
#include <string>

namespace quorvane::checklist {

struct Options {
    std::string list;  // a file, or an http or https address
    bool hash = false;
    std::string tracker;  // with --torrent: the tracker the torrents name
    // The longest one answer may take; a whole file under --hash also gets a second for every
    // kSlowestHashBytesPerSecond of its size.
    std::chrono::seconds timeout{30};
};

inline constexpr const char* kUsage =
    "usage: quorvane-check-list [--hash] [--torrent TRACKER-ADDRESS] [--timeout SECONDS]\n"
    "                           LIST-FILE-OR-ADDRESS\n";

// Nothing for a command line that is not one of the usage.
std::optional<Options> parseOptions(int argc, const char* const* argv);

}  // namespace quorvane::checklist
