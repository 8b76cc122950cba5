// The hidden files a download keeps beside its target: never written through something that sits
// at their names, and never shared between two targets.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <fstream>
#include <thread>

#include "case_name.h"
#include "engine/part_name.h"
#include "engine/resume_record.h"
#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kSize = 1024 * kKiB;
const std::string kVictim = "the user's own file";

enum class Planted { symbolicLink, hardLink, fifo };

struct Intruder {
    const char* question;
    const char* name;  // beside the target "file.bin"
    Planted what;
    bool refused;  // the job fails before it asks the server for anything
};

// Puts the intruder at its name; false when the platform cannot make one.
bool plant(const Intruder& c, const ScratchFolder& folder) {
    std::error_code error;
    switch (c.what) {
        case Planted::symbolicLink:
#ifdef _WIN32
        {
            // libstdc++ makes no links on Windows; the system does where it lets users, and
            // Wine reports success without making one.
            const auto link = folder / c.name;
            CreateSymbolicLinkW(link.c_str(), (folder / "victim").c_str(),
                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
            const DWORD attributes = GetFileAttributesW(link.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES &&
                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        }
#else
            fs::create_symlink(folder / "victim", folder / c.name, error);
            break;
#endif
        case Planted::hardLink:
            fs::create_hard_link(folder / "victim", folder / c.name, error);
            break;
        case Planted::fifo:
#ifdef _WIN32
            return false;
#else
            return ::mkfifo((folder / c.name).c_str(), 0644) == 0;
#endif
    }
    return !error;
}

fs::file_type expectedType(Planted what) {
    switch (what) {
        case Planted::symbolicLink:
            return fs::file_type::symlink;
        case Planted::hardLink:
            return fs::file_type::regular;
        case Planted::fifo:
            return fs::file_type::fifo;
    }
    return fs::file_type::none;
}

class WithSomethingAtAHiddenName : public ::testing::TestWithParam<Intruder> {};

// A link, a second name or a FIFO at the part file is refused, and the error names it; one at the
// record or at the record's old staging name is passed by. Either way the file it leads to keeps
// its bytes and the intruder stays where it was. Checkpoints come often, so that a record written
// through a link would show.
TEST_P(WithSomethingAtAHiddenName, NothingIsWrittenThroughItNorRemoved) {
    const auto& c = GetParam();
    ScratchFolder folder;
    std::ofstream(folder / "victim", std::ios::binary) << kVictim;
    if (!plant(c, folder)) GTEST_SKIP() << "this system cannot make one: " << c.question;
    TestHttpServer server;
    server.servePattern("/file.bin", kSize, throttledTo(2048 * kKiB));

    RecordingListener listener;
    engine::Engine engine(listener);
    auto options = optionsFor(server.url("/file.bin"), folder / "file.bin", 4);
    options.tuning.checkpointInterval = std::chrono::milliseconds(20);
    auto report = listener.waitForEnd(engine.start(options).id);
    ASSERT_TRUE(report) << c.question;

    std::vector<std::string> expected{c.name, "victim"};
    if (c.refused) {
        EXPECT_EQ(report->failure, engine::FailureKind::fileError) << c.question;
        EXPECT_NE(report->reason.find(c.name), std::string::npos) << c.question << report->reason;
        EXPECT_TRUE(server.requests().empty()) << c.question;
    } else {
        EXPECT_EQ(report->outcome, engine::Outcome::completed) << c.question << report->reason;
        EXPECT_EQ(sha256OfFile(folder / "file.bin"), sha256Of(patternBytes(kSize))) << c.question;
        expected.push_back("file.bin");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing(folder.path()), expected) << c.question;
    EXPECT_EQ(fs::symlink_status(folder / c.name).type(), expectedType(c.what)) << c.question;
    EXPECT_EQ(fileText(folder / "victim"), kVictim) << c.question;
}

INSTANTIATE_TEST_SUITE_P(
    Intruders, WithSomethingAtAHiddenName,
    ::testing::Values(Intruder{"is a link at the part file refused?", ".file.bin.part",
                               Planted::symbolicLink, true},
                      Intruder{"is a second name of another file at the part file refused?",
                               ".file.bin.part", Planted::hardLink, true},
                      Intruder{"is a fifo at the part file refused and kept?", ".file.bin.part",
                               Planted::fifo, true},
                      Intruder{"is a link at the record passed by?", ".file.bin.prec",
                               Planted::symbolicLink, false},
                      Intruder{"is a fifo at the record passed by without waiting?",
                               ".file.bin.prec", Planted::fifo, false},
                      Intruder{"is a link at the record's old staging name never written through?",
                               ".file.bin.pnew", Planted::symbolicLink, false}),
    QuestionName());

#ifdef _WIN32
// Windows counts UTF-16 units, but under Wine the host's file system still counts bytes: there
// the longest names are made of ASCII, where both counts agree.
constexpr std::string_view kFiller = "x";
#else
constexpr std::string_view kFiller = "客";
#endif

// Leaves a half-fetched file and its record.
void interruptHalfway(engine::Engine& engine, RecordingListener& listener,
                      const engine::JobOptions& options, std::int64_t size) {
    auto job = engine.start(options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (job.progress->received.load() < size / 2 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.stop(job.id, /*keepForResume=*/true);
    ASSERT_TRUE(listener.waitForEnd(job.id));
}

// Two names of the longest length that share all but their last bytes: the hidden names are cut
// to fit, and still differ, so that fetching the second leaves the first one's partial file as it
// was and the first resumes from it.
TEST(HiddenFileNames, TwoLongNamesThatDifferOnlyAtTheirEndKeepHiddenFilesOfTheirOwn) {
    std::string shared;
    while (shared.size() < 249) shared += kFiller;
    const std::string first = shared + "-a.bin", second = shared + "-b.bin";
    ASSERT_EQ(first.size(), engine::kLongestFileName);
    const auto hiddenOfFirst = engine::resumeFilesFor(first);
    for (const auto& name : {hiddenOfFirst.part, hiddenOfFirst.record}) {
        EXPECT_LE(engine::fileNameLength(name), engine::kLongestFileName) << name;
    }

    TestHttpServer server;
    server.servePattern("/first.bin", kSize, throttledTo(512 * kKiB));
    server.serve("/second.bin", std::string(kSize, 's'));
    ScratchFolder folder;
    RecordingListener listener;
    engine::Engine engine(listener);
    auto options = optionsFor(server.url("/first.bin"), folder / first, 4);
    options.tuning.checkpointInterval = std::chrono::milliseconds(50);
    interruptHalfway(engine, listener, options, kSize);
    const auto kept = listing(folder.path());
    ASSERT_EQ(kept.size(), 2u);

    auto other = listener.waitForEnd(
        engine.start(optionsFor(server.url("/second.bin"), folder / second, 4)).id);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->outcome, engine::Outcome::completed) << other->reason;
    EXPECT_EQ(other->resumedBytes, 0);
    EXPECT_EQ(fileText(folder / second), std::string(kSize, 's'));

    server.servePattern("/first.bin", kSize);
    auto resumed = listener.waitForEnd(engine.start(options).id);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->outcome, engine::Outcome::completed) << resumed->reason;
    EXPECT_GT(resumed->resumedBytes, 0);
    EXPECT_EQ(sha256OfFile(folder / first), sha256Of(patternBytes(kSize)));
    EXPECT_EQ(listing(folder.path()), (std::vector<std::string>{first, second}));
}

}  // namespace
}  // namespace quorvane::testing
