#include "platform/gbk_text.h"

#include <gtest/gtest.h>

namespace quorvane::platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct GbkCase {
    const char* utf8;
    const char* gbk;
};

class GbkRoundTrip : public testing::TestWithParam<GbkCase> {};

TEST_P(GbkRoundTrip, ConvertsBothWays) {
    EXPECT_EQ(utf8ToGbk(GetParam().utf8), GetParam().gbk);
    EXPECT_EQ(gbkToUtf8(GetParam().gbk), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    ListTexts, GbkRoundTrip,
    testing::Values(GbkCase{"", ""}, GbkCase{"[Down]\r\nDown=True", "[Down]\r\nDown=True"},
                    GbkCase{"客户端", "\xBF\xCD\xBB\xA7\xB6\xCB"},
                    GbkCase{"(网通下载)", "(\xCD\xF8\xCD\xA8\xCF\xC2\xD4\xD8)"},
                    GbkCase{"第一部分", "\xB5\xDA\xD2\xBB\xB2\xBF\xB7\xD6"},
                    GbkCase{"一个临时文件", "\xD2\xBB\xB8\xF6\xC1\xD9\xCA\xB1\xCE\xC4\xBC\xFE"}));

TEST(GbkToUtf8, InvalidBytesBecomeReplacementCharacters) {
    const std::string replacement(kReplacement);
    EXPECT_EQ(gbkToUtf8("a\xFF"
                        "b"),
              "a" + replacement + "b");
    EXPECT_EQ(gbkToUtf8("a\x81"), "a" + replacement);  // lead byte cut off at the end
    EXPECT_EQ(gbkToUtf8("a\x81\x20z"), "a" + replacement + " z");
    EXPECT_EQ(gbkToUtf8(std::string("\0x", 2)), std::string("\0x", 2));
}

TEST(Utf8ToGbk, CharactersOutsideGbkAndBrokenSequencesBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");                         // an emoji
    EXPECT_EQ(utf8ToGbk("a\xC3(b"), "a?(b");  // lead byte without continuation
    EXPECT_EQ(utf8ToGbk("a\xE4\xB8"), "a?");  // cut off at the end
    EXPECT_EQ(utf8ToGbk("\xFF\xFE"), "??");
}

// Every two-byte character of the code page comes back as the same two bytes.
TEST(GbkRoundTrip, EveryTwoByteCharacterSurvives) {
    int characters = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = gbkToUtf8(gbk);
            if (utf8.find(kReplacement) != std::string::npos) continue;
            ++characters;
            ASSERT_EQ(utf8ToGbk(utf8), gbk) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GT(characters, 21000);  // GBK holds 21886 characters
}

TEST(GbkToUtf8, LongTextsConvertCompletely) {
    std::string gbk;
    std::string utf8;
    for (int i = 0; i < 5000; ++i) {
        gbk +=
            "\xBF\xCD"
            "x";
        utf8 += "客x";
    }
    EXPECT_EQ(gbkToUtf8(gbk), utf8);
    EXPECT_EQ(utf8ToGbk(utf8), gbk);
}

}  // namespace
}  // namespace quorvane::platform
