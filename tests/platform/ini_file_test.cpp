#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_folder.h"

namespace quorvane::platform {
namespace {

struct IniCase {
    const char* question;
    std::string text;
    const char* section;
    const char* key;
    std::string expected;
};

class IniRules : public testing::TestWithParam<IniCase> {};

TEST_P(IniRules, AnswersLikeTheWindowsReader) {
    const IniCase& row = GetParam();
    EXPECT_EQ(IniDocument::parse(row.text).value(row.section, row.key), row.expected)
        << row.question;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniRules,
    testing::Values(
        IniCase{"plain item", "[Down]\nDown=True\n", "Down", "Down", "True"},
        IniCase{"section name regardless of case", "[DOWN]\nDown=True\n", "down", "Down", "True"},
        IniCase{"key name regardless of case", "[Files]\nnUM=3\n", "Files", "Num", "3"},
        IniCase{"value keeps its case", "[Down]\nDown=true\n", "Down", "Down", "true"},
        IniCase{"blanks around names and value", "  [ Down ]  \n\t Down \t=  True \t\n", "Down",
                "Down", "True"},
        IniCase{"CR LF line ends", "[Down]\r\nDown=True\r\n[Files]\r\nNum=3\r\n", "Files", "Num",
                "3"},
        IniCase{"no line end after the last item", "[Down]\nDown=True", "Down", "Down", "True"},
        IniCase{"first of duplicated keys wins", "[Add]\nAdd1=first\nadd1=second\n", "Add", "Add1",
                "first"},
        IniCase{"first wins across a repeated section", "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\n", "A", "k",
                "1"},
        IniCase{"same key in another section", "[A]\nk=1\n[B]\nk=2\n", "B", "k", "2"},
        IniCase{"semicolon line is a comment", "[Down]\n;Down=False\nDown=True\n", "Down", "Down",
                "True"},
        IniCase{"indented semicolon line is a comment", "[Down]\n  ;Down=False\n", "Down", "Down",
                ""},
        IniCase{"semicolon inside a value is kept", "[Down]\nDown=True ;note\n", "Down", "Down",
                "True ;note"},
        IniCase{"equals sign inside a value", "[Add]\nAdd1=http://h/f?a=1&b=2\n", "Add", "Add1",
                "http://h/f?a=1&b=2"},
        IniCase{"quotes are part of the value", "[Name]\nName1=\"x\"\n", "Name", "Name1", "\"x\""},
        IniCase{"empty value", "[Down]\nDown=\n", "Down", "Down", ""},
        IniCase{"absent key", "[Down]\nDown=True\n", "Down", "Up", ""},
        IniCase{"absent section", "[Down]\nDown=True\n", "Files", "Num", ""},
        IniCase{"item before any section is ignored", "Down=True\n[Down]\n", "Down", "Down", ""},
        IniCase{"line without equals sign is ignored", "[Down]\nDown\nDown=True\n", "Down", "Down",
                "True"},
        IniCase{"text after the closing bracket", "[Down] trailing\nDown=True\n", "Down", "Down",
                "True"},
        IniCase{"GBK value bytes untouched", "[Name]\nName1=\xBF\xCD\xBB\xA7\xB6\xCB\n", "Name",
                "Name1", "\xBF\xCD\xBB\xA7\xB6\xCB"},
        // 0xB5 0x41 and 0xB5 0x61 are two different GBK characters; folding the trail byte
        // would make the second key a duplicate of the first.
        IniCase{"GBK trail byte is not case-folded", "[S]\n\xB5\x41=1\n\xB5\x61=2\n", "S",
                "\xB5\x61", "2"},
        IniCase{"UTF-8 byte-order mark before the first section", "\xEF\xBB\xBF[Down]\nDown=True\n",
                "Down", "Down", "True"},
        IniCase{"very long line", "[Name]\nName1=" + std::string(200'000, 'x') + "\n", "Name",
                "Name1", std::string(200'000, 'x')}));

TEST(IniLoad, ReadsAFileAndRefusesMissingOrOversizedOnes) {
    test::TempFolder folder;
    const auto list = folder / "list.ini";
    std::ofstream(list, std::ios::binary) << "[Down]\r\nDown=True\r\n";

    EXPECT_EQ(readIniValue(list, "Down", "Down"), "True");
    EXPECT_FALSE(IniDocument::load(list).markedUtf8());
    EXPECT_TRUE(IniDocument::parse("\xEF\xBB\xBF[Down]").markedUtf8());
    EXPECT_EQ(readIniValue(folder / "missing.ini", "Down", "Down"), "");
    EXPECT_EQ(IniDocument::load(list, 5).value("Down", "Down"), "");
    EXPECT_EQ(IniDocument::load(folder.path()).value("Down", "Down"), "");
}

}  // namespace
}  // namespace quorvane::platform
