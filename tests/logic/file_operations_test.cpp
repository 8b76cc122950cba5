#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "download/local_name.h"
#include "list/file_operations.h"
#include "platform/file_system.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesBelow(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return files;
}

TEST(RandomNames, AreTenToSixteenLettersOrDigitsAndDoNotRepeat) {
    std::set<std::string> seen;
    std::set<std::size_t> lengths;
    for (int i = 0; i < 2000; ++i) {
        const std::string name = makeRandomName(1, 36);
        ASSERT_GE(name.size(), 10u);
        ASSERT_LE(name.size(), 16u);
        for (char ch : name)
            ASSERT_TRUE((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9')) << name;
        EXPECT_TRUE(seen.insert(name).second) << "repeated: " << name;
        EXPECT_NE(name.find_first_not_of(name[0]), std::string::npos) << "one letter repeated";
        lengths.insert(name.size());
    }
    EXPECT_EQ(lengths.size(), 7u) << "every length from 10 to 16 occurs";
}

TEST(RandomNames, IndexesOutsideTheTableAddNothing) {
    EXPECT_EQ(makeRandomName(60, 70), "");
    for (char ch : makeRandomName(37, 37)) EXPECT_EQ(ch, '~');
}

TEST(DeleteIfExists, TouchesNothingForAnEmptyPathOrAMissingFile) {
    TestSystem system;
    const fs::path file = system.programFolder() / "x.txt";
    EXPECT_FALSE(deleteIfExists(system, {}));
    EXPECT_FALSE(deleteIfExists(system, file));
    std::ofstream(file) << "x";
    EXPECT_TRUE(deleteIfExists(system, file));
    EXPECT_FALSE(fs::exists(file));
    fs::create_directory(file);
    EXPECT_FALSE(deleteIfExists(system, file)) << "a folder is not a file";
    EXPECT_TRUE(fs::is_directory(file));
}

using DownloadFolder = ProgramTest;

TEST_F(DownloadFolder, IsCreatedBesideTheProgramAndNoTestFileStays) {
    prepareDownloadFolder(c);
    const fs::path expected = system.programFolder() / platform::pathFromUtf8("下载的文件");
    EXPECT_EQ(c.g.downloadFolder, expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_TRUE(filesBelow(system.root()).empty());
}

TEST_F(DownloadFolder, FallsBackToTheProgramFolderWhenItsOwnCannotBeWritten) {
    const fs::path own = system.programFolder() / platform::pathFromUtf8("下载的文件");
    fs::create_directory(own);
    system.makeReadOnly(own);
    prepareDownloadFolder(c);
    EXPECT_EQ(c.g.downloadFolder, system.programFolder());
    EXPECT_TRUE(filesBelow(system.root()).empty());
}

TEST_F(DownloadFolder, ReadOnlyProgramUsesItsOwnFolderInTheUsersDownloads) {
    system.makeReadOnly(system.programFolder());
    const fs::path usersOwn = system.userDownloadsFolder() / "Quorvane客户端.rar";
    std::ofstream(usersOwn) << "the user's own file";
    prepare();
    acceptList(exampleList());
    chooseAndStart(0);

    const fs::path expected = system.userDownloadsFolder() / platform::pathFromUtf8("下载的文件");
    EXPECT_EQ(c.g.downloadFolder, expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(c.g.queueTargets, std::vector<fs::path>{expected / "Quorvane客户端.rar"});
    EXPECT_TRUE(fs::exists(usersOwn)) << "a file of the user's with the same name is left alone";
    EXPECT_EQ(filesBelow(system.programFolder()), std::vector<fs::path>{});
}

TEST(SafeFileName, RemovesBidirectionalOverridesThatDisguiseAnExtension) {
    EXPECT_EQ(safeFileName("photo\u202Egpj.exe"), "photogpj.exe");
    EXPECT_EQ(safeFileName("a\u2066b\u2069c\u200Fd"), "abcd");
    EXPECT_EQ(safeFileName("普通\u2014名字"), "普通\u2014名字") << "other punctuation stays";
}

}  // namespace
}  // namespace quorvane::test
