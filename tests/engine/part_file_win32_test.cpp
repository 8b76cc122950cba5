// The part file on Windows: hidden while it is written, locked against a second writer, and an
// ordinary file under the target's name once committed, replacing what was there; shared with
// libtorrent, which renames it itself.

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

engine::TaggedName asideNameIn(const std::filesystem::path& folder) {
    return [folder](std::string_view tag) {
        return folder / (L".客户端.rar." + std::filesystem::path(tag).wstring() + L".old");
    };
}

TEST(PartFileOnWindows, IsHiddenAndLockedWhileWrittenThenBecomesTheTarget) {
    ScratchFolder folder;
    const auto target = folder.path() / L"客户端.rar";
    std::ofstream(target) << "old";
    const auto partPath = folder.path() / L".客户端.rar.part";
    engine::FileProblem whyNot;
    bool locked = false;
    auto part = engine::PartFile::open(partPath, whyNot, locked);
    ASSERT_TRUE(part) << whyNot.text;
    EXPECT_NE(attributesOf(partPath) & FILE_ATTRIBUTE_HIDDEN, 0u);

    auto second = engine::PartFile::open(partPath, whyNot, locked);
    EXPECT_FALSE(second);
    EXPECT_TRUE(locked) << whyNot.text;

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
    engine::FileProblem whyNot;
    bool locked = false;
    auto part = engine::PartFile::openShared(partPath, whyNot, locked);
    ASSERT_TRUE(part) << whyNot.text;
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
        EXPECT_TRUE(locked) << whyNot.text;
    }
    std::vector<char> back(bytes.size());
    ASSERT_FALSE(part->readAt(0, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);

    // libtorrent's rename does not replace a file: an older download at the target steps aside
    // first, and the file that takes the name drops its hidden mark.
    std::ofstream(target) << "an older download";
    auto aside = engine::moveOutOfTheWay(target, asideNameIn(folder.path()), whyNot);
    ASSERT_TRUE(aside && !aside->empty()) << whyNot.text;
    EXPECT_EQ(attributesOf(target), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(MoveFileExW(partPath.c_str(), target.c_str(), 0)) << GetLastError();
    part->markVisible();
    part.reset();
    engine::removeFile(*aside);
    EXPECT_EQ(attributesOf(target) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(sha256OfFile(target), sha256Of(bytes));
    EXPECT_EQ(listing(folder.path()).size(), 1u);
    auto again = engine::PartFile::openShared(target, whyNot, locked);
    EXPECT_TRUE(again) << whyNot.text;
}

// Only a plain file steps aside, and one whose rename failed comes back.
TEST(PartFileOnWindows, OnlyAPlainFileMovesOutOfTheWayAndComesBackWhenTheRenameFails) {
    ScratchFolder folder;
    const auto target = folder.path() / L"客户端.rar";
    engine::FileProblem whyNot;
    auto nothing = engine::moveOutOfTheWay(target, asideNameIn(folder.path()), whyNot);
    ASSERT_TRUE(nothing) << whyNot.text;
    EXPECT_TRUE(nothing->empty());

    std::filesystem::create_directory(target);
    EXPECT_FALSE(engine::moveOutOfTheWay(target, asideNameIn(folder.path()), whyNot));
    EXPECT_NE(whyNot.text.find("folder"), std::string::npos) << whyNot.text;
    std::filesystem::remove(target);

    std::ofstream(target) << "read-only";
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(engine::moveOutOfTheWay(target, asideNameIn(folder.path()), whyNot));
    EXPECT_NE(whyNot.text.find("read-only"), std::string::npos) << whyNot.text;
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);

    auto aside = engine::moveOutOfTheWay(target, asideNameIn(folder.path()), whyNot);
    ASSERT_TRUE(aside && !aside->empty()) << whyNot.text;
    engine::moveBack(*aside, target);
    EXPECT_EQ(sha256OfFile(target), sha256Of("read-only"));
    EXPECT_EQ(listing(folder.path()).size(), 1u);
}

}  // namespace
}  // namespace quorvane::testing
