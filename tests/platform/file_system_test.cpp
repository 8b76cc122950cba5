#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/free_space.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::string contentsOf(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WriteNewFile, WritesTheBytesExactly) {
    TempFolder folder;
    const std::string bytes("\xD2\xBB\xB8\xF6\0\r\n", 7);
    EXPECT_TRUE(writeNewFile(folder / "a.txt", bytes));
    EXPECT_EQ(contentsOf(folder / "a.txt"), bytes);
}

TEST(WriteNewFile, NeverReplacesWhatExists) {
    TempFolder folder;
    ASSERT_TRUE(writeNewFile(folder / "a.ini", "first"));
    fs::create_directory(folder / "sub");

    EXPECT_FALSE(writeNewFile(folder / "a.ini", "second"));
    EXPECT_FALSE(writeNewFile(folder / "sub", "second"));
    EXPECT_EQ(contentsOf(folder / "a.ini"), "first");
    EXPECT_EQ(listing(folder.path()), (std::vector<std::string>{"a.ini", "sub"}));
}

TEST(WriteNewFile, FailsInAMissingFolderWithoutCreatingIt) {
    TempFolder folder;
    EXPECT_FALSE(writeNewFile(folder / "nRes" / "list.ini", "[Down]"));
    EXPECT_TRUE(listing(folder.path()).empty());
}

TEST(ReadWholeFile, ReadsExactlyAndRefusesWhatIsTooBigOrMissing) {
    TempFolder folder;
    const std::string bytes("[Down]\r\n\0\xBF\xCD", 11);
    ASSERT_TRUE(writeNewFile(folder / "list.ini", bytes));
    EXPECT_EQ(readWholeFile(folder / "list.ini", bytes.size()), bytes);
    EXPECT_EQ(readWholeFile(folder / "list.ini", bytes.size() - 1), std::nullopt);
    EXPECT_EQ(readWholeFile(folder / "missing.ini", 100), std::nullopt);
    EXPECT_EQ(readWholeFile(folder.path(), 100), std::nullopt);
}

TEST(DeleteFile, RemovesOnlyFiles) {
    TempFolder folder;
    ASSERT_TRUE(writeNewFile(folder / "a.ini", "x"));
    fs::create_directory(folder / "sub");

    EXPECT_TRUE(deleteFile(folder / "a.ini"));
    EXPECT_FALSE(deleteFile(folder / "a.ini"));
    EXPECT_FALSE(deleteFile(folder / "sub"));
    EXPECT_FALSE(deleteFile(""));
    EXPECT_EQ(listing(folder.path()), (std::vector<std::string>{"sub"}));
}

TEST(Folders, ExistAndAreCreatedOneLevelAtATime) {
    TempFolder folder;
    ASSERT_TRUE(writeNewFile(folder / "file", "x"));

    EXPECT_TRUE(folderExists(folder.path()));
    EXPECT_FALSE(folderExists(folder / "file"));
    EXPECT_TRUE(fileExists(folder / "file"));
    EXPECT_FALSE(fileExists(folder.path()));
    // A link that leads nowhere counts too, where links can be made (not by a plain Windows user).
    std::error_code noLinks;
    fs::create_symlink(folder / "nowhere", folder / "link", noLinks);
    for (const char* name : {"file", "link", "."}) {
        if (noLinks && std::string_view(name) == "link") continue;
        EXPECT_TRUE(somethingExists(folder / name)) << name;
    }
    EXPECT_FALSE(somethingExists(folder / "nowhere"));
    fs::remove(folder / "link", noLinks);

    const fs::path downloads = folder / pathFromUtf8("下载的文件");
    EXPECT_TRUE(createFolder(downloads));
    EXPECT_TRUE(createFolder(downloads));  // already there
    EXPECT_FALSE(createFolder(folder / "a" / "b"));
    EXPECT_FALSE(createFolder(folder / "file"));
    EXPECT_EQ(listing(folder.path()), (std::vector<std::string>{"file", "下载的文件"}));
}

#ifdef _WIN32
constexpr std::string_view kExecutableSuffix = ".exe";
constexpr std::string_view kSomeFolder = R"(C:\下载的文件\)";
#else
constexpr std::string_view kExecutableSuffix = "";
constexpr std::string_view kSomeFolder = "/tmp/下载的文件/";
#endif

TEST(Paths, Utf8TextsRoundTrip) {
    const std::string text = std::string(kSomeFolder) + "Quorvane客户端.part1.rar";
    EXPECT_EQ(utf8FromPath(pathFromUtf8(text)), text);
    EXPECT_EQ(pathFromUtf8(text).filename(), pathFromUtf8("Quorvane客户端.part1.rar"));
}

TEST(ProgramFolder, HoldsTheRunningProgram) {
    const fs::path folder = programFolder();
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(fileExists(folder / ("quorvane_platform_tests" + std::string(kExecutableSuffix))));
}

TEST(FreeSpace, IsKnownForFoldersAndForFilesNotYetWritten) {
    TempFolder folder;
    const auto onFolder = freeSpaceBytes(folder.path());
    ASSERT_TRUE(onFolder.has_value());
    EXPECT_GT(*onFolder, 0);
    const auto onFutureFile = freeSpaceBytes(folder / "sub" / "client.part1.rar");
    ASSERT_TRUE(onFutureFile.has_value());
    EXPECT_GT(*onFutureFile, 0);
    EXPECT_FALSE(freeSpaceBytes("").has_value());
}

}  // namespace
}  // namespace quorvane::platform
