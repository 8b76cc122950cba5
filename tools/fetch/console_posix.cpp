#include "console.h"

#include <signal.h>
#include <unistd.h>

namespace quorvane::fetch {

namespace {
std::atomic<int>* interruptSignal = nullptr;
extern "C" void onInterrupt(int signalNumber) {
    interruptSignal->store(signalNumber);
}
}  // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void setOnInterrupt(std::atomic<int>& signalNumber) {
    interruptSignal = &signalNumber;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool errorsGoToTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

}  // namespace quorvane::fetch
