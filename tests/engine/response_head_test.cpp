#include "engine/response_head.h"

#include <gtest/gtest.h>

namespace quorvane::engine {
namespace {

TEST(ParseContentRange, ReadsWellFormedRangesAndRefusesTheRest) {
    auto range = parseContentRange("bytes 100-199/5368709121");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 100);
    EXPECT_EQ(range->last, 199);
    EXPECT_EQ(range->total, 5368709121);
    auto open = parseContentRange("bytes 0-9/*");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->total, -1);
    for (const char* bad : {"", "bytes", "bytes 9-0/10", "bytes 0-9/9", "bytes -1-9/10",
                            "bytes 0-9/99999999999999999999", "items 0-9/10", "bytes 0-x/10",
                            "bytes 0 9/10", "bytes 0-9/1e3", "bytes 0--0/10", "bytes +0-9/10",
                            "bytes 0- 9/10", "bytes 0-9/ 10", "bytes 0-9/-0"}) {
        EXPECT_FALSE(parseContentRange(bad)) << bad;
    }
}

// Network input is read by its grammar: decimal digits only, a status of exactly three digits.
TEST(ParseResponseHead, AcceptsExactlyTheGrammar) {
    EXPECT_EQ(parseByteCount("0"), 0);
    EXPECT_EQ(parseByteCount("9223372036854775807"), 9223372036854775807);
    for (const char* bad : {"", "-0", "+1", " 1", "1 ", "0x10", "1.0", "9223372036854775808"}) {
        EXPECT_FALSE(parseByteCount(bad)) << bad;
    }
    EXPECT_EQ(parseStatusLine("HTTP/1.1 206 Partial Content"), 206);
    EXPECT_EQ(parseStatusLine("HTTP/2 200"), 200);
    for (const char* bad : {"HTTP/1.1 2065", "HTTP/1.1 20", "HTTP/1.1 -20", "HTTP/1.1  206",
                            "HTTP/1.1 099 Low", "HTTP/x 200", "HTTPS/1.1 200", "HTTP/1.1 2a6"}) {
        EXPECT_FALSE(parseStatusLine(bad)) << bad;
    }
}

ResponseHead headOf(std::initializer_list<const char*> lines) {
    ResponseHead head;
    for (const char* line : lines) head.addLine(line);
    return head;
}

struct VerdictCase {
    const char* question;
    std::initializer_list<const char*> lines;
    RequestedRange asked;
    std::optional<FileIdentity> known;
    Verdict expected;
};

TEST(CheckResponse, JudgesEveryResponseBeforeItsFirstByte) {
    const RequestedRange range{true, 100, 199};
    const FileIdentity file{1000, "\"a\"", ""};
    const VerdictCase cases[] = {
        {"is the asked range accepted?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-199/1000", "Content-Length: 100"},
         range,
         file,
         Verdict::accept},
        {"does a redirect's head give way to the final one?",
         {"HTTP/1.1 302 Found", "Content-Range: bytes 0-1/2", "HTTP/1.1 206 Partial",
          "Content-Range: bytes 100-199/1000"},
         range,
         file,
         Verdict::accept},
        {"is a 200 for a range seen as ranges ignored?",
         {"HTTP/1.1 200 OK", "Content-Length: 1000"},
         range,
         file,
         Verdict::ignoresRanges},
        {"is a shifted Content-Range refused?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 101-200/1000"},
         range,
         file,
         Verdict::mismatch},
        {"is a shorter range refused?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-150/1000"},
         range,
         file,
         Verdict::mismatch},
        {"is a 206 without Content-Range refused?",
         {"HTTP/1.1 206 Partial"},
         range,
         file,
         Verdict::mismatch},
        {"is an unreadable Content-Range refused?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes x"},
         range,
         file,
         Verdict::mismatch},
        {"is a Content-Length that contradicts the range refused?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-199/1000", "Content-Length: 99"},
         range,
         file,
         Verdict::mismatch},
        {"is a new total size a changed file?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-199/1001"},
         range,
         file,
         Verdict::changed},
        {"is a new ETag a changed file?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-199/1000", "ETag: \"b\""},
         range,
         file,
         Verdict::changed},
        {"may the first answer be shorter than asked?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 0-49/50"},
         RequestedRange{true, 0, 1023},
         std::nullopt,
         Verdict::accept},
        {"is a whole-file 200 accepted when no range was asked?",
         {"HTTP/1.1 200 OK"},
         RequestedRange{},
         std::nullopt,
         Verdict::accept},
        {"is a 206 refused when no range was asked?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 0-9/10"},
         RequestedRange{},
         std::nullopt,
         Verdict::mismatch},
        {"is a 204 refused?", {"HTTP/1.1 204 No Content"}, range, file, Verdict::mismatch},
        {"is a status of four digits refused?",
         {"HTTP/1.1 2065 Partial", "Content-Range: bytes 100-199/1000"},
         range,
         file,
         Verdict::mismatch},
        {"is a gzip body refused, however well its range fits?",
         {"HTTP/1.1 206 Partial", "Content-Range: bytes 100-199/1000", "Content-Encoding: gzip"},
         range,
         file,
         Verdict::mismatch},
        {"is a gzip whole file refused?",
         {"HTTP/1.1 200 OK", "Transfer-Encoding: gzip, chunked"},
         RequestedRange{},
         std::nullopt,
         Verdict::mismatch},
        {"is the identity encoding accepted?",
         {"HTTP/1.1 200 OK", "Content-Encoding: identity", "Transfer-Encoding: chunked"},
         RequestedRange{},
         std::nullopt,
         Verdict::accept},
        {"is a Content-Length of -0 malformed?",
         {"HTTP/1.1 200 OK", "Content-Length: -0"},
         RequestedRange{},
         std::nullopt,
         Verdict::malformed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkResponse(headOf(c.lines), c.asked, c.known), c.expected) << c.question;
    }
}

}  // namespace
}  // namespace quorvane::engine
