#include <gtest/gtest.h>

#include <chrono>

#include <fstream>
#include <set>

#include "download/local_name.h"
#include "list/file_operations.h"
#include "platform/file_system.h"
#include "platform/installation.h"
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
    const fs::path usersOwn =
        system.userDownloadsFolder() / platform::pathFromUtf8("Quorvane客户端.rar");
    std::ofstream(usersOwn) << "the user's own file";
    prepare();
    acceptList(exampleList());
    chooseAndStart(0);

    const fs::path expected = system.userDownloadsFolder() / platform::pathFromUtf8("下载的文件");
    EXPECT_EQ(c.g.downloadFolder, expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(c.g.queueTargets,
              std::vector<fs::path>{expected / platform::pathFromUtf8("Quorvane客户端.rar")});
    EXPECT_TRUE(fs::exists(usersOwn)) << "a file of the user's with the same name is left alone";
    EXPECT_EQ(filesBelow(system.programFolder()), std::vector<fs::path>{});
}

// The installer's mark decides, not a write test: started as administrator, an installed
// program could write into its own folder in Program Files.
TEST_F(DownloadFolder, InstalledProgramUsesTheUsersFolderThoughItsOwnTakesFiles) {
    const fs::path marker =
        system.programFolder() / fs::path(std::string(platform::kInstalledMarkerName));
    std::ofstream(marker) << "installed";
    for (int start = 0; start < 2; ++start) {
        prepareDownloadFolder(c);
        const fs::path expected =
            system.userDownloadsFolder() / platform::pathFromUtf8("下载的文件");
        EXPECT_EQ(c.g.downloadFolder, expected);
        EXPECT_TRUE(fs::is_directory(expected));
    }
    EXPECT_EQ(filesBelow(system.programFolder()), std::vector<fs::path>{marker});
    EXPECT_FALSE(fs::exists(system.programFolder() / platform::pathFromUtf8("下载的文件")));
}

TEST(SafeFileName, RemovesBidirectionalOverridesThatDisguiseAnExtension) {
    EXPECT_EQ(safeFileName("photo\u202Egpj.exe"), "photogpj.exe");
    EXPECT_EQ(safeFileName("a\u2066b\u2069c\u200Fd"), "abcd");
    EXPECT_EQ(safeFileName("普通\u2014名字"), "普通\u2014名字") << "other punctuation stays";
}

// Names from a list are shortened to what the file system takes, by whole characters, keeping
// the extension (a two-part archive keeps ".part1.rar", which names its other part).
TEST(SafeFileName, ShortensLongNamesByWholeCharactersKeepingTheExtension) {
    std::string chinese;
    for (int i = 0; i < 300; ++i) chinese += "客";
    struct Row {
        std::string name;
        std::string extension;
    };
    for (const Row& row : {Row{chinese + ".part1.rar", ".part1.rar"}, Row{chinese + ".rar", ".rar"},
                           Row{std::string(300, 'a') + "." + std::string(40, 'e') + ".zip", ".zip"},
                           Row{"\xF0\x9F\x98\x80" + chinese, ""}}) {
        const auto safe = safeFileName(row.name);
        ASSERT_TRUE(safe) << row.name;
        EXPECT_LE(fileNameUnits(*safe), longestLocalName()) << *safe;
        EXPECT_GT(fileNameUnits(*safe) + 4, longestLocalName()) << "cut no more than one character";
        EXPECT_TRUE(safe->ends_with(row.extension)) << *safe;
        EXPECT_TRUE(row.name.starts_with(safe->substr(0, safe->size() - row.extension.size())))
            << "the stem is the name's beginning";
        const auto stem = safe->substr(0, safe->size() - row.extension.size());
        EXPECT_NE(static_cast<unsigned char>(row.name[stem.size()]) & 0xC0, 0x80)
            << "no character is split";
    }
    EXPECT_LE(fileNameUnits("最新最新最新") + longestLocalName(), kLongestFileName)
        << "room for the prefixes of an old file that cannot be replaced";
    const std::string longest = std::string(longestLocalName() - 4, 'n') + ".rar";
    EXPECT_EQ(safeFileName(longest), longest) << "a name that fits stays whole";
}

// Cleaning looks at each byte about once: hostile names of the largest list accepted (1 MiB)
// take milliseconds, not seconds.
TEST(SafeFileName, TakesLinearTimeOnHostileNames) {
    const std::size_t mebibyte = 1024 * 1024;
    std::string alternating;
    while (alternating.size() < mebibyte) alternating += "./";
    const auto started = std::chrono::steady_clock::now();
    const auto dots =
        safeFileName(std::string(mebibyte, '.') + "名字" + std::string(mebibyte, '.') + ".rar");
    const auto mixed = safeFileName(alternating + "x");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(dots, "名字.rar");
    EXPECT_EQ(mixed, "x");
    EXPECT_LT(took, std::chrono::seconds(2));
}

}  // namespace
}  // namespace quorvane::test
