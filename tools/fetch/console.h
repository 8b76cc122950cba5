#pragma once

// What the command needs from the operating system: its arguments as UTF-8, the number of the
// signal that asks it to stop (SIGINT for Ctrl+C, SIGTERM otherwise; also on Windows, from the
// console's events), and whether standard error is a terminal.

#include <atomic>
#include <string>
#include <vector>

namespace quorvane::fetch {

std::vector<std::string> utf8Arguments(int argc, char** argv);
// The variable must live as long as the program.
void setOnInterrupt(std::atomic<int>& signalNumber);
bool errorsGoToTerminal();

}  // namespace quorvane::fetch
