#include "console.h"

#include <signal.h>
#include <unistd.h>

namespace quorvane::fetch {

namespace {
std::atomic<bool>* interruptFlag = nullptr;
extern "C" void onInterrupt(int) {
    interruptFlag->store(true);
}
}  // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void setOnInterrupt(std::atomic<bool>& flag) {
    interruptFlag = &flag;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool errorsGoToTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

}  // namespace quorvane::fetch
