#pragma once

// What the command needs from the operating system: its arguments as UTF-8, a flag that Ctrl+C
// (or SIGTERM) sets, and whether standard error is a terminal.

#include <atomic>
#include <string>
#include <vector>

namespace quorvane::fetch {

std::vector<std::string> utf8Arguments(int argc, char** argv);
// The flag must live as long as the program.
void setOnInterrupt(std::atomic<bool>& flag);
bool errorsGoToTerminal();

}  // namespace quorvane::fetch
