// Resuming what an interrupted or failed job left, and checking files against a given SHA-256:
// the file that takes the target's name is always the server's, byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "case_name.h"
#include "engine/leftovers.h"
#include "engine/part_file.h"
#include "engine/part_name.h"
#include "engine/resume_record.h"
#include "engine/sha256.h"
#include "engine_test_support.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kSize = 2048 * kKiB;
const std::string kPartName = ".file.bin.part";
const std::string kRecordName = ".file.bin.prec";

std::string otherBytes(std::int64_t size) {
    std::string bytes = patternBytes(size);
    for (auto& byte : bytes) byte = static_cast<char>(~byte);
    return bytes;
}

std::string upper(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Interrupts a job half way, as a crash or an ended program would, against a server that sends
// the validators of `faults`: a half-fetched file and its record stay when `keeps` says so.
void interruptHalfway(TestHttpServer& server, const ScratchFolder& folder, Faults faults = {},
                      bool keeps = true) {
    faults.bytesPerSecond = throttledTo(512 * kKiB).bytesPerSecond;
    server.servePattern("/file.bin", kSize, faults);
    RecordingListener listener;
    engine::Engine engine(listener);
    auto options = optionsFor(server.url("/file.bin"), folder / "file.bin", 4);
    options.tuning.checkpointInterval = std::chrono::milliseconds(50);
    auto job = engine.start(options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (job.progress->received.load() < kSize / 2 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.stop(job.id, /*keepForResume=*/true);
    ASSERT_TRUE(listener.waitForEnd(job.id));
    const auto kept =
        keeps ? std::vector<std::string>{kPartName, kRecordName} : std::vector<std::string>{};
    ASSERT_EQ(listing(folder.path()), kept);
}

engine::ResumeRecord recordIn(const ScratchFolder& folder) {
    auto record = engine::parseRecord(fileText(folder / kRecordName));
    return record ? *record : engine::ResumeRecord{};
}

TEST(Resume, AFailureAfterTheTriesKeepsWhatArrivedAndTheNextJobFetchesOnlyTheRest) {
    TestHttpServer server;
    Faults cut;  // every body ends early: pieces advance, then the tries run out
    cut.cutFirst = 1000;
    cut.cutAfter = 40 * kKiB;  // less than any request asks for, however fast the line
    server.servePattern("/file.bin", kSize, cut);
    EngineBench bench;
    auto first = bench.download(server.url("/file.bin"), "file.bin", 4);
    ASSERT_TRUE(first.report);
    ASSERT_EQ(first.report->outcome, engine::Outcome::failed);
    EXPECT_EQ(listing(bench.folder.path()), (std::vector<std::string>{kPartName, kRecordName}));
    const std::int64_t kept = recordIn(bench.folder).done.total();
    EXPECT_GT(kept, 0);

    server.servePattern("/file.bin", kSize);
    const auto sentBefore = server.bodyBytesSent();
    auto second = bench.download(server.url("/file.bin"), "file.bin", 4);
    ASSERT_TRUE(second.report);
    EXPECT_EQ(second.report->outcome, engine::Outcome::completed) << second.report->reason;
    EXPECT_EQ(second.report->resumedBytes, kept);
    EXPECT_GE(server.bodyBytesSent() - sentBefore, kSize - kept);
    EXPECT_LE(server.bodyBytesSent() - sentBefore, kSize - kept + 256 * kKiB);
    expectOnlyThePattern(bench.folder.path(), "file.bin", kSize);
}

// A crash loses what arrived since the last checkpoint, not what waits in the connections'
// batches: on a slow line those take far longer to fill than a checkpoint takes to come.
TEST(Resume, TheRecordClaimsWhatArrivedWithinSeconds) {
    TestHttpServer server;
    server.servePattern("/file.bin", 4 * kSize, throttledTo(16 * kKiB));  // per connection
    RecordingListener listener;
    engine::Engine engine(listener);
    ScratchFolder folder;
    auto options = optionsFor(server.url("/file.bin"), folder / "file.bin", 4);
    options.tuning.writeBatch = engine::Tuning{}.writeBatch;  // as in the program
    options.tuning.minPieceSize = engine::Tuning{}.minPieceSize;
    auto job = engine.start(options);
    auto waitFor = [](std::chrono::seconds budget, auto done) {
        const auto deadline = std::chrono::steady_clock::now() + budget;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    };
    ASSERT_TRUE(waitFor(std::chrono::seconds(20), [&] {
        return job.progress->received.load() >= 64 * kKiB;
    })) << "the download did not get going";
    const std::int64_t arrived = job.progress->received.load();

    // A request of the smallest piece takes 16 s at this rate, a batch longer.
    EXPECT_TRUE(
        waitFor(std::chrono::seconds(6), [&] { return recordIn(folder).done.total() >= arrived; }))
        << recordIn(folder).done.total() << " bytes recorded, " << arrived << " had arrived";
    engine.stop(job.id);
    ASSERT_TRUE(listener.waitForEnd(job.id));
    server.releaseStalls();
}

// What may have happened to the file or the record between two runs, and what the second run
// must make of it: the server's file, never a mix.
struct Tampering {
    const char* question;
    std::function<void(const ScratchFolder&)> apply;
    bool resumes;
};

class AfterAnInterruption : public ::testing::TestWithParam<Tampering> {};

TEST_P(AfterAnInterruption, TheNextJobGivesTheServersFile) {
    const auto& c = GetParam();
    TestHttpServer server;
    ScratchFolder folder;
    interruptHalfway(server, folder);
    c.apply(folder);
    server.servePattern("/file.bin", kSize);

    RecordingListener listener;
    engine::Engine engine(listener);
    auto job = engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 4));
    auto report = listener.waitForEnd(job.id);
    ASSERT_TRUE(report) << c.question;
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << c.question << report->reason;
    EXPECT_EQ(report->resumedBytes > 0, c.resumes) << c.question;
    expectOnlyThePattern(folder.path(), "file.bin", kSize, c.question);
}

INSTANTIATE_TEST_SUITE_P(
    Records, AfterAnInterruption,
    ::testing::Values(
        Tampering{"does an untouched record resume?", [](const ScratchFolder&) {}, true},
        Tampering{"is a file cut shorter than its record claims started over?",
                  [](const ScratchFolder& folder) {
                      auto claimed = recordIn(folder).done.ranges().back().end;
                      std::filesystem::resize_file(folder / kPartName, claimed - 1);
                  },
                  false},
        Tampering{"is a torn record started over?",
                  [](const ScratchFolder& folder) {
                      auto size = std::filesystem::file_size(folder / kRecordName);
                      std::filesystem::resize_file(folder / kRecordName, size - 20);
                  },
                  false},
        Tampering{"is a record whose text was altered started over?",
                  [](const ScratchFolder& folder) {
                      // Claims the whole file, under the old check line.
                      std::string text = fileText(folder / kRecordName);
                      const auto done = text.find("done ");
                      const auto check = text.find("check ");
                      text.replace(done, check - done, "done 0 " + std::to_string(kSize) + "\n");
                      std::ofstream(folder / kRecordName, std::ios::binary) << text;
                  },
                  false},
        Tampering{"is a record's next version that a kill left removed?",
                  [](const ScratchFolder& folder) {
                      const auto staging = engine::stagingFileName("file.bin", "0123456789abcdef");
                      std::ofstream(folder.path() / staging, std::ios::binary)
                          << fileText(folder / kRecordName);
                  },
                  true},
        Tampering{"is a record for another address started over?",
                  [](const ScratchFolder& folder) {
                      auto record = recordIn(folder);
                      record.url += "?other";
                      std::ofstream(folder / kRecordName, std::ios::binary)
                          << engine::serializeRecord(record);
                  },
                  false}),
    QuestionName());

TEST(Resume, AJobThatFailsBeforeTheServerAnswersKeepsWhatAnEarlierOneLeft) {
    TestHttpServer server;
    ScratchFolder folder;
    interruptHalfway(server, folder);
    const auto kept = listing(folder.path());
    server.answerStatus("/file.bin", 503);  // down for a while

    RecordingListener listener;
    engine::Engine engine(listener);
    auto down = listener.waitForEnd(
        engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 4)).id);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->outcome, engine::Outcome::failed);
    EXPECT_EQ(listing(folder.path()), kept);

    server.servePattern("/file.bin", kSize);
    auto back = listener.waitForEnd(
        engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 4)).id);
    ASSERT_TRUE(back);
    EXPECT_GT(back->resumedBytes, 0);
    expectOnlyThePattern(folder.path(), "file.bin", kSize);
}

TEST(Resume, ValidatorsChangedOnTheServerStartOverWithTheNewFile) {
    TestHttpServer server;
    ScratchFolder folder;
    interruptHalfway(server, folder);
    Faults newVersion;
    newVersion.etag = "\"new\"";
    const std::string bytes = otherBytes(kSize);  // same size, other bytes
    server.serve("/file.bin", bytes, newVersion);

    RecordingListener listener;
    engine::Engine engine(listener);
    auto job = engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 4));
    auto report = listener.waitForEnd(job.id);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << report->reason;
    EXPECT_EQ(report->resumedBytes, 0);
    EXPECT_EQ(sha256OfFile(folder / "file.bin"), sha256Of(bytes));
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"file.bin"});
}

// Which validators let a resume trust the bytes it has: only those that name one version.
struct ValidatorCase {
    const char* question;
    Faults validators;
    bool resumes;
};

Faults validatorsWith(void (*apply)(Faults&)) {
    Faults faults;
    apply(faults);
    return faults;
}

class WithTheServersValidators : public ::testing::TestWithParam<ValidatorCase> {};

TEST_P(WithTheServersValidators, AResumeKeepsOnlyBytesTheServerVouchesFor) {
    const auto& c = GetParam();
    TestHttpServer server;
    ScratchFolder folder;
    interruptHalfway(server, folder, c.validators, c.resumes);
    if (!c.resumes) {
        // What a build that trusted the size alone would have kept.
        engine::ResumeRecord record;
        record.url = server.url("/file.bin");
        record.size = kSize;
        record.etag = c.validators.etag;
        record.done.add(0, kSize / 2);
        std::ofstream(folder / kPartName, std::ios::binary) << patternBytes(kSize / 2);
        std::ofstream(folder / kRecordName, std::ios::binary) << engine::serializeRecord(record);
    }
    // A file that can be told apart is the same one; one that cannot has changed, size aside.
    const std::string bytes = c.resumes ? patternBytes(kSize) : otherBytes(kSize);
    server.serve("/file.bin", bytes, c.validators);

    RecordingListener listener;
    engine::Engine engine(listener);
    auto report = listener.waitForEnd(
        engine.start(optionsFor(server.url("/file.bin"), folder / "file.bin", 4)).id);
    ASSERT_TRUE(report) << c.question;
    EXPECT_EQ(report->outcome, engine::Outcome::completed) << c.question << report->reason;
    EXPECT_EQ(report->resumedBytes > 0, c.resumes) << c.question;
    EXPECT_EQ(sha256OfFile(folder / "file.bin"), sha256Of(bytes)) << c.question;
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"file.bin"}) << c.question;
}

INSTANTIATE_TEST_SUITE_P(
    Validators, WithTheServersValidators,
    ::testing::Values(ValidatorCase{"is a strong ETag trusted?", Faults{}, true},
                      ValidatorCase{"is a Last-Modified alone trusted?",
                                    validatorsWith([](Faults& f) {
                                        f.noEtag = true;
                                        f.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
                                    }),
                                    true},
                      ValidatorCase{"is a weak ETag with a Last-Modified trusted?",
                                    validatorsWith([](Faults& f) {
                                        f.etag = "W/\"v1\"";
                                        f.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
                                    }),
                                    true},
                      ValidatorCase{"is a file without validators fetched anew?",
                                    validatorsWith([](Faults& f) { f.noEtag = true; }), false},
                      ValidatorCase{"is a file with only a weak ETag fetched anew?",
                                    validatorsWith([](Faults& f) { f.etag = "W/\"v1\""; }), false}),
    QuestionName());

struct HashCase {
    const char* question;
    std::string expected;
    int connections;
    bool matches;
};

class WithASha256 : public ::testing::TestWithParam<HashCase> {};

TEST_P(WithASha256, OnlyAMatchingFileTakesTheTargetsName) {
    const auto& c = GetParam();
    TestHttpServer server;
    server.servePattern("/file.bin", kSize);
    EngineBench bench;
    auto options = optionsFor(server.url("/file.bin"), bench.folder / "file.bin", c.connections);
    options.expectedSha256 = c.expected;
    auto [job, report] = bench.runToEnd(options);
    ASSERT_TRUE(report) << c.question;
    if (c.matches) {
        EXPECT_EQ(report->outcome, engine::Outcome::completed) << c.question << report->reason;
        expectOnlyThePattern(bench.folder.path(), "file.bin", kSize, c.question);
    } else {
        expectFailedLeavingNothing(*report, bench.folder.path(), "SHA-256", c.question);
        EXPECT_EQ(report->failure, engine::FailureKind::verificationFailed) << c.question;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hashes, WithASha256,
    ::testing::Values(HashCase{"is a file that matches over ten connections kept?",
                               sha256Of(patternBytes(kSize)), 10, true},
                      HashCase{"is a file that matches in upper-case hex kept?",
                               upper(sha256Of(patternBytes(kSize))), 1, true},
                      HashCase{"is a file that does not match removed?",
                               sha256Of(otherBytes(kSize)), 10, false}),
    QuestionName());

// A record that lies within the file's length cannot be told from the file alone; the hash can.
TEST(Resume, AResumedFileIsCheckedWholeAndAWrongOneIsNeverKept) {
    TestHttpServer server;
    ScratchFolder folder;
    interruptHalfway(server, folder);
    auto record = recordIn(folder);
    record.done.add(0, kSize);  // claims bytes that never arrived
    std::filesystem::resize_file(folder / kPartName, kSize);
    std::ofstream(folder / kRecordName, std::ios::binary) << engine::serializeRecord(record);
    server.servePattern("/file.bin", kSize);

    RecordingListener listener;
    engine::Engine engine(listener);
    auto options = optionsFor(server.url("/file.bin"), folder / "file.bin", 4);
    options.expectedSha256 = sha256Of(patternBytes(kSize));
    auto lied = listener.waitForEnd(engine.start(options).id);
    ASSERT_TRUE(lied);
    expectFailedLeavingNothing(*lied, folder.path(), "SHA-256");

    auto again = listener.waitForEnd(engine.start(options).id);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->outcome, engine::Outcome::completed) << again->reason;
    expectOnlyThePattern(folder.path(), "file.bin", kSize);
}

// What interrupted downloads leave goes once untouched for a week, and only what is provably
// theirs: a record that parses with its part file, a part file alone, a record's next version
// that parses. Never what the user made, a link, or a file that a running job holds; and a target
// of the record's size does not make a partial file complete.
TEST(Leftovers, OnlyWhatIsProvablyTheProgramsGoesAndNeverWhileInUse) {
    ScratchFolder folder;
    const auto aWeekAgo = std::chrono::hours(8 * 24);
    auto make = [&](const std::string& name, const std::string& text,
                    std::chrono::hours age = std::chrono::hours(0)) {
        std::ofstream(folder / name, std::ios::binary) << text;
        std::filesystem::last_write_time(folder / name,
                                         std::filesystem::file_time_type::clock::now() - age);
    };
    engine::ResumeRecord resumable;
    resumable.url = "http://example/file.rar";
    resumable.size = 1000;
    resumable.done.add(0, 10);
    const std::string record = engine::serializeRecord(resumable);
    const std::string part(10, 'p');

    make(".old.rar.part", part, aWeekAgo);  // a pair untouched for a week: goes
    make(".old.rar.prec", record, aWeekAgo);
    make(".fresh.rar.part", part);  // a recent pair beside a target of the record's size: kept
    make(".fresh.rar.prec", record);
    make("fresh.rar", std::string(1000, 't'));
    make(".torn.rar.part", part);  // a recent part file beside a record that does not parse
    make(".torn.rar.prec", record.substr(0, 40));
    make("torn.rar", "t");
    make(".thesis.prec", "the user's own notes", aWeekAgo);  // not a record: kept at any age
    make(".gone.rar.prec", record);  // a record whose part file is gone resumes nothing: goes
    make(".12345678.rar.0123456789abcdef.part", part, aWeekAgo);  // a part file alone: goes
    make(".notes.part", "recent");                                // the same, recent: kept
    make(".file.rar.0123456789abcdef.pnew", record, aWeekAgo);    // a next version: goes
    make(".half.rar.pnew", record.substr(0, 40), aWeekAgo);       // not a record: kept
    make(".running.rar.part", part, aWeekAgo);  // held by a job in another program: kept
    make(".running.rar.prec", record, aWeekAgo);
    make(".second.rar.0123456789abcdef.part", part, aWeekAgo);  // the same without a record
    make("target", "the user's", aWeekAgo);
    std::error_code noLinks;
    std::filesystem::create_symlink(folder / "target", folder / ".link.rar.part", noLinks);
    make(".hidden", "");
    make("other.rar", "");
    engine::FileProblem whyNot;
    bool locked = false;
    auto running = engine::PartFile::open(folder / ".running.rar.part", whyNot, locked);
    auto second =
        engine::PartFile::open(folder / ".second.rar.0123456789abcdef.part", whyNot, locked);
    ASSERT_TRUE(running && second) << whyNot.text;

    engine::removeLeftovers(folder.path());

    std::vector<std::string> kept{".fresh.rar.part",   ".fresh.rar.prec",
                                  ".half.rar.pnew",    ".hidden",
                                  ".notes.part",       ".running.rar.part",
                                  ".running.rar.prec", ".second.rar.0123456789abcdef.part",
                                  ".thesis.prec",      ".torn.rar.part",
                                  ".torn.rar.prec",    "fresh.rar",
                                  "other.rar",         "target",
                                  "torn.rar"};
    if (!noLinks) kept.push_back(".link.rar.part");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(listing(folder.path()), kept);
    EXPECT_EQ(fileText(folder / "target"), "the user's");
}

}  // namespace
}  // namespace quorvane::testing
