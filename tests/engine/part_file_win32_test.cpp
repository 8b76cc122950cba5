// The part file on Windows: hidden while it is written, locked against a second writer, and an
// ordinary file under the target's name once committed, replacing what was there.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

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

}  // namespace
}  // namespace quorvane::testing
