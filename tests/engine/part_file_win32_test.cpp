// The part file on Windows: hidden while it is written, locked against a second writer, and an
// ordinary file under the target's name once committed, replacing what was there.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <vector>

#include "engine/part_file.h"
#include "engine_test_support.h"

namespace quorvane::testing {
namespace {

DWORD attributesOf(const std::filesystem::path& file) {
    return GetFileAttributesW(file.c_str());
}

TEST(PartFileOnWindows, IsHiddenAndLockedWhileWrittenThenBecomesTheTarget) {
    ScratchFolder folder;
    const auto target = folder.path() / L"客户端.rar";
    std::ofstream(target) << "old";
    const auto partPath = folder.path() / L".客户端.rar.part";
    std::string whyNot;
    bool locked = false;
    auto part = engine::PartFile::open(partPath, whyNot, locked);
    ASSERT_TRUE(part) << whyNot;
    EXPECT_NE(attributesOf(partPath) & FILE_ATTRIBUTE_HIDDEN, 0u);

    auto second = engine::PartFile::open(partPath, whyNot, locked);
    EXPECT_FALSE(second);
    EXPECT_TRUE(locked) << whyNot;

    const std::string bytes = "new bytes";
    ASSERT_FALSE(part->writeAt(4, std::span(bytes).subspan(4)));
    ASSERT_FALSE(part->writeAt(0, std::span(bytes).first(4)));
    ASSERT_FALSE(part->commit(target));

    EXPECT_EQ(attributesOf(target) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(attributesOf(partPath), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sha256OfFile(target), sha256Of(bytes));
    EXPECT_EQ(listing(folder.path()).size(), 1u);
}

// A file libtorrent writes: its own handles (opened as libtorrent opens them) write and rename
// it while the job holds it, yet an HTTP job and a second such job are kept out until it is let go.
TEST(PartFileOnWindows, SharedIsWrittenAndRenamedByOtherHandlesButLocksOutOtherJobs) {
    ScratchFolder folder;
    const auto partPath = folder.path() / L".客户端.rar.part";
    const auto target = folder.path() / L"客户端.rar";
    std::string whyNot;
    bool locked = false;
    auto part = engine::PartFile::openShared(partPath, whyNot, locked);
    ASSERT_TRUE(part) << whyNot;
    EXPECT_NE(attributesOf(partPath) & FILE_ATTRIBUTE_HIDDEN, 0u);

    const HANDLE library = CreateFileW(partPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(library, INVALID_HANDLE_VALUE) << GetLastError();
    const std::string bytes = "pieces from peers";
    DWORD written = 0;
    EXPECT_TRUE(
        WriteFile(library, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(library);

    for (auto other : {&engine::PartFile::open, &engine::PartFile::openShared}) {
        locked = false;
        EXPECT_FALSE(other(partPath, whyNot, locked));
        EXPECT_TRUE(locked) << whyNot;
    }
    std::vector<char> back(bytes.size());
    ASSERT_FALSE(part->readAt(0, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);

    EXPECT_TRUE(MoveFileExW(partPath.c_str(), target.c_str(), 0)) << GetLastError();
    part.reset();
    EXPECT_EQ(sha256OfFile(target), sha256Of(bytes));
    auto again = engine::PartFile::openShared(target, whyNot, locked);
    EXPECT_TRUE(again) << whyNot;
}

}  // namespace
}  // namespace quorvane::testing
