#include "engine/part_file.h"

#include <windows.h>

#include <limits>
#include <utility>

#include "engine/part_name.h"
#include "platform/windows_file_win32.h"
#include "platform/windows_path_win32.h"

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

using platform::win32Path;

std::string utf8Of(const std::filesystem::path& path) {
    return platform::utf8FromWide(std::filesystem::path(path).make_preferred().native());
}

// `what` and the system's reason, known as a full disk where the system says so.
FileProblem problemOf(const std::string& what, DWORD error) {
    return {what + platform::describeWin32Error(error),
            error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL};
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
}

// Readers may look, nobody else may write: the share mode is the lock, and the system drops it
// with the handle when the process dies. A reparse point (a link, a junction) is opened as itself,
// never followed, and then refused by notOwnFile.
HANDLE openForJob(const std::filesystem::path& path, DWORD disposition,
                  DWORD share = FILE_SHARE_READ) {
    return CreateFileW(win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                       disposition, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Why the open file is not one of the program's own: a link, a folder, a device, or a file that
// has another name as well (a hard link), which writing would change under that name too.
Problem notOwnFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return problemOf("", GetLastError());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return std::string("it is a link");
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        GetFileType(file) != FILE_TYPE_DISK) {
        return std::string("it is not a regular file");
    }
    if (info.nNumberOfLinks > 1) return std::string("it has another name (a hard link)");
    return std::nullopt;
}

// A plain file, looked at without following a link.
bool isRegularFile(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return position;
}

Problem writeAll(HANDLE file, std::int64_t offset, std::span<const char> bytes) {
    while (!bytes.empty()) {
        OVERLAPPED position = at(offset);
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, &position)) {
            return problemOf("cannot write the file: ", GetLastError());
        }
        if (written == 0) return FileProblem("cannot write the file: the disk is full", true);
        bytes = bytes.subspan(written);
        offset += written;
    }
    return std::nullopt;
}

// Creates a file under a name that nothing had, from `name` and a random tag; never one that is
// there already, a link included. INVALID_HANDLE_VALUE, with whyNot told, when it cannot.
HANDLE createFresh(const TaggedName& name, DWORD access, DWORD share, std::filesystem::path& path,
                   FileProblem& whyNot) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        path = name(randomTag());
        const HANDLE handle =
            CreateFileW(win32Path(path).c_str(), access, share, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            whyNot = problemOf("cannot create " + utf8Of(path) + ": ", error);
            return INVALID_HANDLE_VALUE;
        }
    }
    whyNot = "cannot find a free temporary name in " + utf8Of(folderOf(path));
    return INVALID_HANDLE_VALUE;
}

// The hidden file at path, opened with share as one of the program's own, or INVALID_HANDLE_VALUE
// with the reason (locked: another job has it).
HANDLE openOwnFile(const std::filesystem::path& path, DWORD share, FileProblem& whyNot,
                   bool& locked) {
    locked = false;
    const HANDLE handle = openForJob(path, OPEN_ALWAYS, share);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        locked = error == ERROR_SHARING_VIOLATION;
        whyNot = locked ? "another download is writing " + utf8Of(path)
                        : problemOf("cannot open " + utf8Of(path) + ": ", error);
        return INVALID_HANDLE_VALUE;
    }
    if (auto problem = notOwnFile(handle)) {
        CloseHandle(handle);
        whyNot = "cannot use " + utf8Of(path) + ": " + problem->text + "; it was left as it is";
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}  // namespace

std::optional<PartFile> PartFile::open(const std::filesystem::path& path, FileProblem& whyNot,
                                       bool& locked) {
    const HANDLE handle = openOwnFile(path, FILE_SHARE_READ, whyNot, locked);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    return PartFile(valueOf(handle), path);
}

// Here the share mode cannot be the lock: the other library's handles must write and rename the
// file too. An HTTP job's open still fails against this handle's write access, and another shared
// one against a lock on one byte far past the end of any file, which no write ever reaches.
std::optional<PartFile> PartFile::openShared(const std::filesystem::path& path, FileProblem& whyNot,
                                             bool& locked) {
    const HANDLE handle =
        openOwnFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, whyNot, locked);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    OVERLAPPED farPastTheEnd = at(std::numeric_limits<std::int64_t>::max() - 1);
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &farPastTheEnd)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        locked = error == ERROR_LOCK_VIOLATION;
        whyNot = locked ? "another download is writing " + utf8Of(path)
                        : problemOf("cannot lock " + utf8Of(path) + ": ", error);
        return std::nullopt;
    }
    return PartFile(valueOf(handle), path);
}

std::optional<PartFile> PartFile::createUnique(const std::filesystem::path& target,
                                               FileProblem& whyNot) {
    const auto folder = folderOf(target);
    std::filesystem::path path;
    const HANDLE handle = createFresh(
        [&](std::string_view tag) { return folder / partFileName(target.filename(), tag); },
        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, path, whyNot);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    return PartFile(valueOf(handle), std::move(path));
}

void PartFile::close() {
    if (fd_ != -1) CloseHandle(handleOf(std::exchange(fd_, -1)));
}

std::int64_t PartFile::length() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(handleOf(fd_), &size) ? size.QuadPart : -1;
}

std::int64_t PartFile::room() const {
    ULARGE_INTEGER available{};
    FILE_STANDARD_INFO info{};
    if (!GetDiskFreeSpaceExW(win32Path(folderOf(path_)).c_str(), &available, nullptr, nullptr) ||
        !GetFileInformationByHandleEx(handleOf(fd_), FileStandardInfo, &info, sizeof info)) {
        return -1;
    }
    return static_cast<std::int64_t>(available.QuadPart) + info.AllocationSize.QuadPart;
}

// Setting the allocation size claims the clusters without writing zeros, so a full disk shows
// at once instead of in the middle of the download. A resumed file keeps what it has.
Problem PartFile::reserve(std::int64_t size) {
    if (size <= 0 || length() >= size) return std::nullopt;
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = size;
    if (!SetFileInformationByHandle(handleOf(fd_), FileAllocationInfo, &allocation,
                                    sizeof allocation)) {
        const DWORD error = GetLastError();
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
            return problemOf("", error);
        }
    }
    return std::nullopt;
}

Problem PartFile::writeAt(std::int64_t offset, std::span<const char> bytes) {
    return writeAll(handleOf(fd_), offset, bytes);
}

Problem PartFile::readAt(std::int64_t offset, std::span<char> bytes) const {
    while (!bytes.empty()) {
        OVERLAPPED position = at(offset);
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
        DWORD got = 0;
        if (!ReadFile(handleOf(fd_), bytes.data(), chunk, &got, &position)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                got = 0;
            else
                return problemOf("cannot read the file back: ", error);
        }
        if (got == 0) return std::string("cannot read the file back: it is shorter than written");
        bytes = bytes.subspan(got);
        offset += got;
    }
    return std::nullopt;
}

Problem PartFile::truncate(std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(handleOf(fd_), FileEndOfFileInfo, &end, sizeof end)) {
        return problemOf("cannot resize the file: ", GetLastError());
    }
    return std::nullopt;
}

Problem PartFile::syncData() const {
    if (!FlushFileBuffers(handleOf(fd_))) {
        return problemOf("cannot write the file: ", GetLastError());
    }
    return std::nullopt;
}

// The data reaches the disk before the name does, so that a power cut never leaves a short file
// under the target's name; the file stops being hidden as it becomes the download, and
// MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
Problem PartFile::commit(const std::filesystem::path& target, bool flush) {
    auto failed = [this](const std::string& what, DWORD error) -> Problem {
        discard();
        return problemOf(what, error);
    };
    const HANDLE handle = handleOf(fd_);
    if (flush && !FlushFileBuffers(handle)) {
        return failed("cannot write the file: ", GetLastError());
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    fd_ = -1;
    if (!CloseHandle(handle)) return failed("cannot write the file: ", GetLastError());
    const DWORD how = MOVEFILE_REPLACE_EXISTING | (flush ? MOVEFILE_WRITE_THROUGH : 0);
    if (!MoveFileExW(win32Path(path_).c_str(), win32Path(target).c_str(), how)) {
        return failed("cannot move the file into place: ", GetLastError());
    }
    path_.clear();
    return std::nullopt;
}

void PartFile::discard() {
    close();
    if (!path_.empty()) {
        DeleteFileW(win32Path(path_).c_str());
        path_.clear();
    }
}

void PartFile::markVisible() {
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handleOf(fd_), FileBasicInfo, &basic, sizeof basic)) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(handleOf(fd_), FileBasicInfo, &basic, sizeof basic);
    }
}

std::optional<std::filesystem::path> moveOutOfTheWay(const std::filesystem::path& target,
                                                     const TaggedName& asideName,
                                                     FileProblem& whyNot) {
    const DWORD attributes = GetFileAttributesW(win32Path(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::filesystem::path();
        }
        whyNot = problemOf("cannot replace " + utf8Of(target) + ": ", error);
        return std::nullopt;
    }
    // Only what a rename onto it would replace: never a folder or a link, and never a read-only
    // file, which could not be removed afterwards.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        whyNot = "cannot replace " + utf8Of(target) + ": it is a folder or a link";
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        whyNot = "cannot replace " + utf8Of(target) + ": it is read-only";
        return std::nullopt;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        auto aside = asideName(randomTag());
        if (MoveFileExW(win32Path(target).c_str(), win32Path(aside).c_str(), 0)) return aside;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            whyNot = problemOf("cannot replace " + utf8Of(target) + ": ", error);
            return std::nullopt;
        }
    }
    whyNot = "cannot find a free temporary name in " + utf8Of(folderOf(target));
    return std::nullopt;
}

void moveBack(const std::filesystem::path& aside, const std::filesystem::path& target) {
    MoveFileExW(win32Path(aside).c_str(), win32Path(target).c_str(), 0);
}

Problem replaceFile(const std::filesystem::path& path, const TaggedName& stagingName,
                    std::string_view bytes) {
    std::filesystem::path staging;
    FileProblem whyNot;
    const HANDLE file = createFresh(stagingName, GENERIC_WRITE, 0, staging, whyNot);
    if (file == INVALID_HANDLE_VALUE) return whyNot;
    Problem problem = writeAll(file, 0, bytes);
    if (!problem && !FlushFileBuffers(file)) {
        problem = problemOf("cannot write: ", GetLastError());
    }
    if (!CloseHandle(file) && !problem) problem = problemOf("cannot write: ", GetLastError());
    const DWORD there = GetFileAttributesW(win32Path(path).c_str());
    if (!problem && there != INVALID_FILE_ATTRIBUTES && !isRegularFile(path)) {
        problem = "cannot replace " + utf8Of(path) + ": it is not a regular file";
    }
    if (!problem && !MoveFileExW(win32Path(staging).c_str(), win32Path(path).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        problem = problemOf("cannot replace " + utf8Of(path) + ": ", GetLastError());
    }
    if (problem) DeleteFileW(win32Path(staging).c_str());
    return problem;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t most) {
    const HANDLE file =
        CreateFileW(win32Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileInformationByHandle(file, &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                       GetFileType(file) == FILE_TYPE_DISK;
    std::optional<std::string> bytes = plain ? platform::readToEnd(file, most) : std::nullopt;
    CloseHandle(file);
    return bytes;
}

void removeFile(const std::filesystem::path& path) {
    if (isRegularFile(path)) DeleteFileW(win32Path(path).c_str());
}

// A job's handle shares no deletion, so this open fails while one holds the file; once open, it
// keeps jobs out until the file is gone.
bool removeUnusedPartFile(const std::filesystem::path& path) {
    const HANDLE file = CreateFileW(win32Path(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool gone =
        GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
    return gone;
}

}  // namespace quorvane::engine
