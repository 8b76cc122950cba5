#include "platform/user_folders.h"

#include "platform/windows_path_win32.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "platform/file_system.h"

namespace quorvane::platform {

namespace fs = std::filesystem;

// Where Windows keeps the user's temporary files; Windows cleans it up, so it serves as the
// cache too.
fs::path userTempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    fs::path folder(std::wstring(buffer, length));
    // GetTempPathW ends with a separator; folders here never do.
    return folder.has_filename() ? folder : folder.parent_path();
}

fs::path userCacheFolder() {
    return userTempFolder();
}

fs::path userConfigFolder() {
    wchar_t* known = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known))) {
        folder = fs::path(known);
    }
    CoTaskMemFree(known);
    return folder;
}

// The Downloads known folder, wherever the user moved it.
fs::path userDownloadsFolder() {
    wchar_t* known = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, &known))) {
        folder = fs::path(known);
    }
    CoTaskMemFree(known);
    if (folder.empty()) return userTempFolder();
    createFolder(folder);
    return folder;
}

}  // namespace quorvane::platform
