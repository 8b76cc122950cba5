#include "platform/installation.h"

#include "platform/windows_path_win32.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "platform/file_system.h"

namespace quorvane::platform {

namespace fs = std::filesystem;

namespace {

fs::path knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* known = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &known))) folder = fs::path(known);
    CoTaskMemFree(known);
    return folder;
}

// The folder itself or anything below it, letter case aside, as Windows compares names.
bool isInside(const fs::path& path, const fs::path& folder) {
    if (folder.empty()) return false;
    std::wstring inner = path.lexically_normal().wstring();
    std::wstring outer = folder.lexically_normal().wstring();
    if (!outer.empty() && outer.back() != L'\\') outer += L'\\';
    if (!inner.empty() && inner.back() != L'\\') inner += L'\\';
    if (inner.size() < outer.size()) return false;
    return CompareStringOrdinal(inner.data(), static_cast<int>(outer.size()), outer.data(),
                                static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool isInstalledProgram(const fs::path& programFolder) {
    if (fileExists(programFolder / fs::path(wideFromUtf8(kInstalledMarkerName)))) return true;
    for (REFKNOWNFOLDERID id :
         {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX64, FOLDERID_ProgramFilesX86}) {
        if (isInside(programFolder, knownFolder(id))) return true;
    }
    return false;
}

}  // namespace quorvane::platform
