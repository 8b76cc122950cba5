#include "platform/file_system.h"

#include "platform/windows_file_win32.h"
#include "platform/windows_path_win32.h"

#include <memory>

namespace quorvane::platform {

namespace fs = std::filesystem;

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

FileHandle openFile(const fs::path& file, DWORD access, DWORD disposition) {
    const HANDLE handle = CreateFileW(win32Path(file).c_str(), access, FILE_SHARE_READ, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

DWORD attributesOf(const fs::path& path) {
    return GetFileAttributesW(win32Path(path).c_str());
}

}  // namespace

fs::path programFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (buffer.size() <= 32768) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) break;
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
    std::error_code error;
    return fs::current_path(error);
}

bool folderExists(const fs::path& folder) {
    const DWORD attributes = attributesOf(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// One folder level; true when the folder is there afterwards, also when it existed before.
bool createFolder(const fs::path& folder) {
    CreateDirectoryW(win32Path(folder).c_str(), nullptr);
    return folderExists(folder);
}

bool fileExists(const fs::path& file) {
    const DWORD attributes = attributesOf(file);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool somethingExists(const fs::path& path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool deleteFile(const fs::path& file) {
    if (!fileExists(file)) return false;
    const std::wstring path = win32Path(file);
    if (DeleteFileW(path.c_str())) return true;
    // A read-only file is deleted as the desktop would after asking: clear the flag first.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return false;
    }
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path.c_str()) != 0;
}

bool writeNewFile(const fs::path& file, std::string_view bytes) {
    FileHandle handle = openFile(file, GENERIC_WRITE, CREATE_NEW);
    if (!handle) return false;
    const bool written = writeAll(handle.get(), bytes);
    // CloseHandle reports a delayed write error; the file is removed after any failure.
    if (CloseHandle(handle.release()) && written) return true;
    DeleteFileW(win32Path(file).c_str());
    return false;
}

std::optional<std::string> readWholeFile(const fs::path& file, std::size_t maxBytes) {
    const FileHandle handle = openFile(file, GENERIC_READ, OPEN_EXISTING);
    if (!handle) return std::nullopt;
    return readToEnd(handle.get(), maxBytes);
}

}  // namespace quorvane::platform
