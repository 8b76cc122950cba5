#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "byte_range.h"
#include "demo_content.h"
#include "demo_server.h"
#include "platform/gbk_text.h"
#include "platform/ini_file.h"

namespace quorvane::demo {
namespace {

constexpr std::int64_t kFileBytes = 1 << 20;

struct RangeCase {
    const char* header;
    ByteRange::Kind kind;
    std::int64_t first;
    std::int64_t last;
};

class SelectByteRange : public testing::TestWithParam<RangeCase> {};

TEST_P(SelectByteRange, ChecksTheRangeAgainstTheSize) {
    const RangeCase& row = GetParam();
    const ByteRange range = selectByteRange(row.header, 1000);
    EXPECT_EQ(range.kind, row.kind) << row.header;
    if (row.kind != ByteRange::Kind::Unsatisfiable) {
        EXPECT_EQ(range.first, row.first) << row.header;
        EXPECT_EQ(range.last, row.last) << row.header;
    }
}

using Kind = ByteRange::Kind;
INSTANTIATE_TEST_SUITE_P(Table, SelectByteRange,
                         testing::Values(RangeCase{"", Kind::Whole, 0, 999},
                                         RangeCase{"bytes=0-99", Kind::Partial, 0, 99},
                                         RangeCase{"bytes=990-", Kind::Partial, 990, 999},
                                         RangeCase{"bytes=990-5000", Kind::Partial, 990, 999},
                                         RangeCase{"bytes=-10", Kind::Partial, 990, 999},
                                         RangeCase{"bytes=-5000", Kind::Partial, 0, 999},
                                         RangeCase{"bytes=999-999", Kind::Partial, 999, 999},
                                         RangeCase{"bytes=1000-", Kind::Unsatisfiable, 0, 0},
                                         RangeCase{"bytes=1000-2000", Kind::Unsatisfiable, 0, 0},
                                         RangeCase{"bytes=-0", Kind::Unsatisfiable, 0, 0},
                                         RangeCase{"bytes=5-2", Kind::Whole, 0, 999},
                                         RangeCase{"bytes=0-1,5-6", Kind::Whole, 0, 999},
                                         RangeCase{"items=0-1", Kind::Whole, 0, 999},
                                         RangeCase{"bytes=x-1", Kind::Whole, 0, 999},
                                         RangeCase{"bytes=99999999999999999999-", Kind::Whole, 0,
                                                   999}));

// Whether an answer arrived with this status; says what came instead when not.
testing::AssertionResult answered(const httplib::Result& answer, int status) {
    if (!answer) {
        return testing::AssertionFailure() << "no answer: " << httplib::to_string(answer.error());
    }
    if (answer->status != status) {
        return testing::AssertionFailure()
               << "status " << answer->status << " instead of " << status;
    }
    return testing::AssertionSuccess();
}

class DemoServerSmoke : public testing::Test {
  protected:
    void SetUp() override {
        DemoServerOptions options;
        options.port = 0;
        options.fileBytes = kFileBytes;
        options.bytesPerSecond = 0;
        server_ = std::make_unique<DemoServer>(options);
        ASSERT_TRUE(server_->bind());
        thread_ = std::thread([this] { server_->run(); });
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(10, 0);
    }
    void TearDown() override {
        server_->stop();
        if (thread_.joinable()) thread_.join();
    }
    httplib::Client& http() { return *client_; }

    std::unique_ptr<DemoServer> server_;
    std::thread thread_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(DemoServerSmoke, ServesTheWorkedExampleListInGbk) {
    const auto list = http().Get("/list/2/down.ini");
    ASSERT_TRUE(answered(list, 200));
    EXPECT_NE(list->body.find("[Down]"), std::string::npos);
    EXPECT_NE(list->body.find("\xBF\xCD\xBB\xA7\xB6\xCB"), std::string::npos);  // 客户端 in GBK
    EXPECT_EQ(list->body.find("客户端"), std::string::npos);                    // not UTF-8

    const auto document = platform::IniDocument::parse(list->body);
    const std::string base = server_->baseAddress();
    EXPECT_EQ(document.value("Down", "Down"), "True");
    EXPECT_EQ(document.value("Files", "Num"), "4");
    EXPECT_EQ(platform::gbkToUtf8(document.value("Name", "Name3")),
              "Quorvane客户端第一部分(电信下载)");
    EXPECT_EQ(document.value("Add", "Add3"), base + "/mirror3/dl/client.part1.rar");
    EXPECT_EQ(document.value("LineOne", "LineOne1"), "2");
    EXPECT_EQ(http().Get("/list/1/down.ini")->body, list->body);

    // The Chinese file name stands in the list as GBK and is served under those bytes only.
    EXPECT_EQ(document.value("Add", "Add4"), base + "/mirror1/dl/" + chineseFileName());
    const auto file = http().Get("/mirror1/dl/%B8%DF%C7%E5%B2%B9%B6%A1.%BC%F2%CC%E5%B0%E6.rar");
    ASSERT_TRUE(answered(file, 200));
    std::string expected;
    fillClientFileBytes(chineseFileName(), 0, expected, static_cast<std::size_t>(kFileBytes));
    EXPECT_EQ(file->body, expected);
    EXPECT_EQ(
        http()
            .Get("/mirror1/dl/%E9%AB%98%E6%B8%85%E8%A1%A5%E4%B8%81.%E7%AE%80%E4%BD%93%E7%89%88.rar")
            ->status,
        404)
        << "not under its name in UTF-8";
}

TEST_F(DemoServerSmoke, RefusesAPortThatIsTaken) {
    DemoServerOptions options;
    options.port = server_->port();
    DemoServer second(options);
    EXPECT_FALSE(second.bind());
}

TEST_F(DemoServerSmoke, ServesTheNewsPage) {
    const auto page = http().Get("/downlist.htm");
    ASSERT_TRUE(answered(page, 200));
    EXPECT_NE(page->body.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_EQ(page->body.find("src=\"http"), std::string::npos);
}

TEST_F(DemoServerSmoke, ServesFileRangesThatAgreeWithTheWholeFile) {
    const auto whole = http().Get("/mirror3/dl/client.part2.rar");
    ASSERT_TRUE(answered(whole, 200));
    ASSERT_EQ(whole->body.size(), static_cast<std::size_t>(kFileBytes));

    const auto part = http().Get("/mirror1/dl/client.part2.rar", {{"Range", "bytes=1000-1999"}});
    ASSERT_TRUE(answered(part, 206));
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 1000-1999/1048576");
    EXPECT_EQ(part->body, whole->body.substr(1000, 1000));

    const auto tail = http().Get("/mirror3/dl/client.part2.rar", {{"Range", "bytes=1048570-"}});
    ASSERT_TRUE(answered(tail, 206));
    EXPECT_EQ(tail->body, whole->body.substr(1048570));
    EXPECT_NE(http().Get("/mirror3/dl/client.part1.rar")->body, whole->body);
}

TEST_F(DemoServerSmoke, AnswersHeadBadRangesAndUnknownFiles) {
    const auto head = http().Head("/mirror2/dl/client.rar");
    ASSERT_TRUE(answered(head, 200));
    EXPECT_EQ(head->get_header_value("Content-Length"), "1048576");
    EXPECT_FALSE(head->get_header_value("ETag").empty());
    EXPECT_EQ(http().Head("/mirror2/dl/client.rar")->get_header_value("ETag"),
              head->get_header_value("ETag"));

    const auto beyond = http().Get("/mirror2/dl/client.rar", {{"Range", "bytes=1048576-"}});
    ASSERT_TRUE(answered(beyond, 416));
    EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */1048576");
    EXPECT_EQ(http().Get("/mirror2/dl/other.rar")->status, 404);
}

}  // namespace
}  // namespace quorvane::demo
