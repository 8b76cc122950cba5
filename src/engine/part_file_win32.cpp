#include "engine/part_file.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <utility>

namespace quorvane::engine {
namespace {

// HANDLE values fit in 32 bits on 64-bit Windows (they are sign-extended across the 32/64-bit
// boundary), so the int the class keeps holds one.
HANDLE handleOf(int value) {
    return LongToHandle(value);
}
int valueOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? -1 : HandleToLong(handle);
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = std::filesystem::path(path).make_preferred().u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Absolute, normalised and with the "\\?\" prefix when long, so that paths past MAX_PATH work.
std::wstring win32Path(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    std::wstring text = absolute.lexically_normal().make_preferred().native();
    if (text.size() < MAX_PATH - 12 || text.starts_with(LR"(\\?\)")) return text;
    if (text.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + text.substr(2);
    return LR"(\\?\)" + text;
}

std::string describeError(DWORD error) {
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return "the disk is full";
    if (error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_PATH_NOT_FOUND) {
        return error == ERROR_PATH_NOT_FOUND ? "the folder does not exist"
                                             : "the name or path is too long for Windows";
    }
    if (error == ERROR_ACCESS_DENIED) return "access is denied";
    if (error == ERROR_SHARING_VIOLATION) return "the file is in use by another program";
    return "Windows error " + std::to_string(error);
}

std::string randomTag() {
    std::random_device device;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", device(), device());
    return text;
}

}  // namespace

std::optional<PartFile> PartFile::createBeside(const std::filesystem::path& target,
                                               std::string& whyNot) {
    const auto folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        auto path = folder / (L"." + target.filename().wstring() + L"." +
                              std::filesystem::path(randomTag()).wstring() + L".part");
        // Hidden, so that nobody takes the partial file for the download.
        const HANDLE handle =
            CreateFileW(win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return PartFile(valueOf(handle), std::move(path));
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            whyNot = "cannot create a file in " + utf8Of(folder) + ": " + describeError(error);
            return std::nullopt;
        }
    }
    whyNot = "cannot find a free temporary name in " + utf8Of(folder);
    return std::nullopt;
}

PartFile::PartFile(PartFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {
    other.path_.clear();
}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

PartFile::~PartFile() {
    discard();
}

// Setting the allocation size claims the clusters without writing zeros, so a full disk shows
// at once instead of in the middle of the download.
Problem PartFile::reserve(std::int64_t size) {
    if (size <= 0) return std::nullopt;
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = size;
    if (!SetFileInformationByHandle(handleOf(fd_), FileAllocationInfo, &allocation,
                                    sizeof allocation)) {
        const DWORD error = GetLastError();
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
            return describeError(error);
        }
    }
    return std::nullopt;
}

Problem PartFile::writeAt(std::int64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handleOf(fd_), bytes.data(), chunk, &written, &position)) {
            return "cannot write the file: " + describeError(GetLastError());
        }
        if (written == 0) return std::string("cannot write the file: the disk is full");
        bytes = bytes.subspan(written);
        offset += written;
    }
    return std::nullopt;
}

Problem PartFile::truncate(std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(handleOf(fd_), FileEndOfFileInfo, &end, sizeof end)) {
        return "cannot resize the file: " + describeError(GetLastError());
    }
    return std::nullopt;
}

// The data reaches the disk before the name does, so that a crash never leaves a short file
// under the target's name; the file stops being hidden as it becomes the download.
Problem PartFile::commit(const std::filesystem::path& target) {
    const HANDLE handle = handleOf(std::exchange(fd_, -1));
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    const bool flushed = FlushFileBuffers(handle) != 0;
    const DWORD flushError = GetLastError();
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    const bool closed = CloseHandle(handle) != 0;
    if (!flushed || !closed) {
        const DWORD error = !flushed ? flushError : GetLastError();
        discard();
        return "cannot write the file: " + describeError(error);
    }
    if (!MoveFileExW(win32Path(path_).c_str(), win32Path(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        discard();
        return "cannot move the file into place: " + describeError(error);
    }
    path_.clear();
    return std::nullopt;
}

void PartFile::discard() {
    if (fd_ != -1) CloseHandle(handleOf(std::exchange(fd_, -1)));
    if (!path_.empty()) {
        DeleteFileW(win32Path(path_).c_str());
        path_.clear();
    }
}

}  // namespace quorvane::engine
