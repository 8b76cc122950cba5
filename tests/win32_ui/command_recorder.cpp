// command-recorder.exe: stands in for a system program that Wine only stubs (netsh), so that a
// test can read what the installer asked of it. Appends its arguments, as UTF-8, as one line to
// the file beside it named like itself with ".log" added, and ends with status 0.

#include <windows.h>

#include <string>

int wmain() {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    // The arguments: the command line after the program's own (possibly quoted) name.
    const wchar_t* line = GetCommandLineW();
    bool quoted = false;
    for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        if (*line == L'"') quoted = !quoted;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    const std::wstring arguments = std::wstring(line) + L"\n";
    std::string text(static_cast<std::size_t>(arguments.size()) * 4, '\0');
    text.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, arguments.data(), static_cast<int>(arguments.size()),
                            text.data(), static_cast<int>(text.size()), nullptr, nullptr)));
    const HANDLE log = CreateFileW((self + L".log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const bool done =
        WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(log);
    return done ? 0 : 1;
}
