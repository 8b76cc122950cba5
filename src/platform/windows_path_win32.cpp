#include "platform/windows_path_win32.h"

#include <climits>
#include <system_error>

namespace quorvane::platform {

namespace fs = std::filesystem;

// Malformed UTF-8 arrives as U+FFFD. A text too long for the
// system's int lengths, or one the system refuses, converts to nothing rather than to a cut or
// uninitialised one.
std::wstring wideFromUtf8(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length) != length)
        return {};
    return wide;
}

std::string utf8FromWide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string utf8(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr) !=
        length) {
        return {};
    }
    return utf8;
}

std::wstring win32Path(const fs::path& path) {
    // CreateDirectoryW stops at MAX_PATH - 12 without the prefix; stay below that.
    constexpr std::size_t kPlainLimit = MAX_PATH - 12;
    std::wstring text = path.native();
    if (text.starts_with(LR"(\\?\)")) return text;
    std::error_code error;
    fs::path absolute = path.is_absolute() ? path : fs::absolute(path, error);
    if (error) absolute = path;
    // The prefix turns off the system's own clean-up of "." and "..", so it is done here.
    text = absolute.lexically_normal().make_preferred().native();
    if (text.size() < kPlainLimit || !absolute.is_absolute()) return text;
    if (text.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + text.substr(2);
    return LR"(\\?\)" + text;
}

std::string describeWin32Error(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_FILENAME_EXCED_RANGE:
            return "the name or path is too long for Windows";
        case ERROR_PATH_NOT_FOUND:
            return "the folder does not exist";
        case ERROR_ACCESS_DENIED:
            return "access is denied";
        case ERROR_SHARING_VIOLATION:
            return "the file is in use by another program";
        default:
            break;
    }
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) return "Windows error " + std::to_string(error);
    return utf8FromWide(text);
}

}  // namespace quorvane::platform
