#include "engine/piece_plan.h"

#include <gtest/gtest.h>

#include <numeric>

#include "case_name.h"

namespace quorvane::engine {
namespace {

using quorvane::testing::PrintTo;  // names cases by their question

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;
using std::chrono::milliseconds;

struct PieceCase {
    const char* question;
    std::int64_t size;
    int connections;
    std::size_t expectedPieces;
};

class InitialPieces : public ::testing::TestWithParam<PieceCase> {};

// The same pieces when the whole file is missing: one piece more than connections would be left
// over for the end, a round trip and a short piece later.
TEST_P(InitialPieces, CoverTheFileExactlyWithoutGapsOrOverlap) {
    const auto& c = GetParam();
    const std::pair<std::int64_t, std::int64_t> wholeFile[] = {{0, c.size}};
    for (const auto& pieces : {initialPieces(c.size, c.connections, 256 * kKiB),
                               piecesForGaps(wholeFile, c.connections, 256 * kKiB, 0)}) {
        ASSERT_EQ(pieces.size(), c.expectedPieces) << c.question;
        std::int64_t expectedBegin = 0;
        for (const auto& piece : pieces) {
            EXPECT_EQ(piece.begin, expectedBegin) << c.question;
            EXPECT_GT(piece.end, piece.begin) << c.question;
            expectedBegin = piece.end;
        }
        EXPECT_EQ(expectedBegin, c.size) << c.question;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, InitialPieces,
    ::testing::Values(PieceCase{"a file below one piece takes one connection", 100 * kKiB, 10, 1},
                      PieceCase{"a file of three pieces takes three connections", 768 * kKiB, 10,
                                3},
                      PieceCase{"a large file takes every connection", 1024 * kMiB, 10, 10},
                      PieceCase{"an odd size splits without losing a byte", 10 * kMiB + 7, 3, 3},
                      PieceCase{"a file over 4 GiB splits in 64 bits", 5 * 1024 * kMiB + 1, 10, 10},
                      PieceCase{"one connection gets one piece", 50 * kMiB, 1, 1}),
    quorvane::testing::QuestionName());

// What an idle connection would take over, with 256 KiB pieces and requests of about a second.
std::optional<Takeover> takeoverOf(const std::vector<Claim>& claims) {
    return planTakeover(claims, 256 * kKiB, milliseconds(1000));
}

void expectTakeover(const std::vector<Claim>& claims, const Takeover& expected) {
    auto takeover = takeoverOf(claims);
    ASSERT_TRUE(takeover);
    EXPECT_EQ(takeover->from, expected.from);
    EXPECT_EQ(takeover->cutsRequest, expected.cutsRequest);
    EXPECT_EQ(takeover->begin, expected.begin);
    EXPECT_EQ(takeover->end, expected.end);
}

TEST(PlanTakeover, TakesTheUpperHalfOfTheLargestUnrequestedRest) {
    // The half starts on a 64 KiB boundary.
    const std::int64_t half = 5 * kMiB + (11 * kMiB) / 2;
    expectTakeover(
        {{0, 1 * kMiB, 4 * kMiB, 1e6}, {4 * kMiB, 5 * kMiB, 16 * kMiB, 1e6}},
        {.from = 1, .begin = half - half % (64 * kKiB), .end = 16 * kMiB, .cutsRequest = false});
}

TEST(PlanTakeover, TakesAllOfARestTooSmallToHalve) {
    auto takeover = takeoverOf({{0, 1 * kMiB, 1 * kMiB + 300 * kKiB, 1e6}});
    ASSERT_TRUE(takeover);
    EXPECT_EQ(takeover->begin, 1 * kMiB);
    EXPECT_EQ(takeover->end, 1 * kMiB + 300 * kKiB);
}

TEST(PlanTakeover, CutsOnlyARequestThatWouldKeepItsConnectionBusyTooLong) {
    // Everything is asked for; one connection crawls through 4 MiB at 100 KB/s.
    expectTakeover({{0, 1 * kMiB, 1 * kMiB, 10e6}, {1 * kMiB, 5 * kMiB, 5 * kMiB, 100e3}},
                   {.from = 1, .begin = 3 * kMiB, .end = 5 * kMiB, .cutsRequest = true});
    // When every connection is fast, nothing is worth cutting.
    EXPECT_FALSE(takeoverOf({{0, 1 * kMiB, 1 * kMiB, 10e6}, {1 * kMiB, 5 * kMiB, 5 * kMiB, 10e6}}));
}

TEST(PlanTakeover, SplitsACutRequestBySpeedSoThatBothEndTogether) {
    const std::vector<Claim> slow{{0, 8 * kMiB, 8 * kMiB, 1e6}};
    // An idle connection three times as fast takes three quarters, from a page boundary.
    auto takeover = planTakeover(slow, 256 * kKiB, milliseconds(1000), 3e6);
    ASSERT_TRUE(takeover);
    EXPECT_TRUE(takeover->cutsRequest);
    EXPECT_EQ(takeover->begin, 2 * kMiB);
    EXPECT_EQ(takeover->end, 8 * kMiB);
    // One that would not fetch a piece's worth meanwhile leaves the request alone.
    EXPECT_FALSE(planTakeover(slow, 256 * kKiB, milliseconds(1000), 20e3));
}

// Ten connections with 6 MiB left each: seven at 1 MB/s, every third at 128 kB/s.
std::vector<Claim> oneInThreeSlow() {
    std::vector<Claim> claims;
    for (int i = 0; i < 10; ++i) {
        const std::int64_t begin = i * 8 * kMiB + 2 * kMiB;
        claims.push_back({begin, begin + 6 * kMiB, begin + 6 * kMiB, i % 3 == 2 ? 128e3 : 1e6});
    }
    return claims;
}

TEST(PlanRelief, TheSlowGiveBackWhatTheyWouldNotFinishWhenTheOthersDo) {
    const auto claims = oneInThreeSlow();
    const auto reliefs = planRelief(claims, 0, 256 * kKiB, milliseconds(1000));
    ASSERT_EQ(reliefs.size(), 3u);
    // All of them together need 60 MiB / 7.384 MB/s, about 8.5 s; a slow one keeps what it
    // fetches by then.
    const double together = 60.0 * kMiB / 7.384e6;
    for (std::size_t i = 0; i < reliefs.size(); ++i) {
        const Claim& slow = claims[reliefs[i].from];
        EXPECT_EQ(reliefs[i].from, 3 * i + 2);
        EXPECT_EQ(reliefs[i].begin % (4 * kKiB), 0);
        EXPECT_NEAR(static_cast<double>(reliefs[i].begin - slow.offset), 128e3 * together,
                    4 * kKiB);
    }
}

TEST(PlanRelief, LeavesConnectionsAloneThatEndCloseTogether) {
    // 20 % slower than the rest, or too little left to matter, or of unknown speed.
    EXPECT_TRUE(planRelief(std::vector<Claim>{{0, 4 * kMiB, 4 * kMiB, 1e6},
                                              {4 * kMiB, 8 * kMiB, 8 * kMiB, 0.8e6}},
                           0, 256 * kKiB, milliseconds(1000))
                    .empty());
    EXPECT_TRUE(planRelief(std::vector<Claim>{{0, 4 * kMiB, 4 * kMiB, 10e6},
                                              {4 * kMiB, 5 * kMiB, 5 * kMiB, 1e6}},
                           0, 256 * kKiB, milliseconds(1000))
                    .empty());
    EXPECT_TRUE(planRelief(std::vector<Claim>{{0, 4 * kMiB, 4 * kMiB, 1e6},
                                              {4 * kMiB, 40 * kMiB, 40 * kMiB, 0}},
                           0, 256 * kKiB, milliseconds(1000))
                    .empty());
}

TEST(ShareOfFreePiece, AnIdleConnectionTakesWhatItFetchesWhileTheOthersFinish) {
    const auto claims = oneInThreeSlow();
    // The others have 60 MiB left at 7.384 MB/s; with this 1 MB/s one and 16 MiB of free pieces
    // (this one of 12 MiB among them) all are done in about 9.5 s.
    const double seconds = (60.0 + 16) * kMiB / 8.384e6;
    const std::int64_t share = shareOfFreePiece(12 * kMiB, claims, 4 * kMiB, 1e6, 256 * kKiB);
    EXPECT_NEAR(static_cast<double>(share), 1e6 * seconds, 64 * kKiB);
    // Of unknown speed, or with a crumb left over: the whole piece.
    EXPECT_EQ(shareOfFreePiece(12 * kMiB, claims, 4 * kMiB, 0, 256 * kKiB), 12 * kMiB);
    EXPECT_EQ(shareOfFreePiece(12 * kMiB, claims, 4 * kMiB, 1e6, 4 * kMiB), 12 * kMiB);
}

TEST(NextRequestLength, AsksForEnoughToLastManyRoundTripsWithinItsBounds) {
    // Speed or answer wait unknown: the whole share, up to the largest request.
    EXPECT_EQ(nextRequestLength(0, 6 * kMiB, 20 * kMiB, 256 * kKiB), 6 * kMiB);
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 256 * kKiB), 20 * kMiB);
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 256 * kKiB, 1e6, 0), 20 * kMiB);
    // 1 MB/s with answers after 100 ms: fifty of those waits.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 256 * kKiB, 1e6, 0.1), 5'000'000);
    // Quick answers: never below four pieces; long ones: never above the largest request.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 256 * kKiB, 1e6, 0.001), 1 * kMiB);
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 256 * kKiB, 10e6, 1.0), 20 * kMiB);
    // A rest smaller than a piece is taken along rather than left behind.
    EXPECT_EQ(nextRequestLength(0, 20 * kMiB + 100 * kKiB, 20 * kMiB, 256 * kKiB),
              20 * kMiB + 100 * kKiB);
}

}  // namespace
}  // namespace quorvane::engine
