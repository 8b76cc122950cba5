#include "console.h"

#include <windows.h>

#include <shellapi.h>

#include <csignal>

namespace quorvane::fetch {

namespace {
std::atomic<int>* interruptSignal = nullptr;
// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool keyboard = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    interruptSignal->store(keyboard ? SIGINT : SIGTERM);
    return TRUE;
}
std::string utf8Of(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string text(static_cast<std::size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    return text;
}
}  // namespace

// argv holds the arguments in the ANSI code page, which loses what it cannot show; the wide
// command line has them all.
std::vector<std::string> utf8Arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide && i < count; ++i) arguments.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return arguments;
}

void setOnInterrupt(std::atomic<int>& signalNumber) {
    interruptSignal = &signalNumber;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool errorsGoToTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace quorvane::fetch
