#include "platform/open_folder.h"

#include "platform/windows_path_win32.h"

#include <shellapi.h>

namespace quorvane::platform {

// Explorer opens the folder in its own process; ShellExecuteW does not wait for it.
bool openFolder(const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    if (error) return false;
    const std::wstring path = win32Path(absolute);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace quorvane::platform
