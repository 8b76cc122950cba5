// What the file system layer does only on Windows: drive paths with either separator, paths past
// MAX_PATH, read-only files, the known folders and Explorer.

#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/free_space.h"
#include "platform/open_folder.h"
#include "platform/user_folders.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(WindowsPaths, AreShownWithBackslashesWhicheverSeparatorMadeThem) {
    EXPECT_EQ(utf8FromPath(pathFromUtf8("C:/游戏/下载的文件/客户端.rar")),
              R"(C:\游戏\下载的文件\客户端.rar)");
    EXPECT_EQ(utf8FromPath(pathFromUtf8(R"(C:\游戏)") / pathFromUtf8("客户端.rar")),
              R"(C:\游戏\客户端.rar)");

    TempFolder folder;
    const std::string mixed = utf8FromPath(folder.path()) + "/子文件夹";
    ASSERT_TRUE(createFolder(pathFromUtf8(mixed)));
    ASSERT_TRUE(writeNewFile(pathFromUtf8(mixed + R"(\列表.ini)"), "[Down]"));
    EXPECT_TRUE(fileExists(pathFromUtf8(utf8FromPath(folder.path()) + R"(\子文件夹\列表.ini)")));
    EXPECT_EQ(readWholeFile(pathFromUtf8(mixed + "/列表.ini"), 100), "[Down]");
}

// Sixteen levels of Chinese folder names: over 300 UTF-16 units, past MAX_PATH (260).
TEST(WindowsPaths, LongChinesePathsWork) {
    TempFolder folder;
    fs::path path = folder.path();
    for (int level = 0; level < 16; ++level) {
        path /= pathFromUtf8("Quorvane下载器的文件夹第" + std::to_string(level) + "层");
        ASSERT_TRUE(createFolder(path)) << utf8FromPath(path);
    }
    ASSERT_GT(path.native().size(), 300u);
    const fs::path file = path / pathFromUtf8("客户端.part1.rar");

    ASSERT_TRUE(writeNewFile(file, "第一部分"));
    EXPECT_FALSE(writeNewFile(file, "again"));
    EXPECT_TRUE(fileExists(file));
    EXPECT_TRUE(folderExists(path));
    EXPECT_EQ(readWholeFile(file, 100), "第一部分");
    EXPECT_TRUE(freeSpaceBytes(path / "not-yet.rar").has_value());
    EXPECT_TRUE(deleteFile(file));
    EXPECT_FALSE(fileExists(file));
}

TEST(DeleteFile, RemovesAReadOnlyFile) {
    TempFolder folder;
    const fs::path file = folder / pathFromUtf8("只读.ini");
    ASSERT_TRUE(writeNewFile(file, "x"));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(deleteFile(file));
    EXPECT_FALSE(fileExists(file));
}

TEST(KnownFolders, AreAbsoluteExistingFoldersWithoutTrailingSeparator) {
    for (const fs::path& folder :
         {userTempFolder(), userCacheFolder(), userDownloadsFolder(), programFolder()}) {
        EXPECT_TRUE(folder.is_absolute()) << utf8FromPath(folder);
        EXPECT_TRUE(folderExists(folder)) << utf8FromPath(folder);
        EXPECT_TRUE(folder.has_filename()) << utf8FromPath(folder);
    }
}

TEST(OpenFolder, RefusesWhatIsNoFolder) {
    TempFolder folder;
    ASSERT_TRUE(writeNewFile(folder / "a.rar", "x"));
    EXPECT_FALSE(openFolder(folder / "missing"));
    EXPECT_FALSE(openFolder(folder / "a.rar"));
}

}  // namespace
}  // namespace quorvane::platform
