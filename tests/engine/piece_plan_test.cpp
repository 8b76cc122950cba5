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

TEST_P(InitialPieces, CoverTheFileExactlyWithoutGapsOrOverlap) {
    const auto& c = GetParam();
    auto pieces = initialPieces(c.size, c.connections, 256 * kKiB);
    ASSERT_EQ(pieces.size(), c.expectedPieces) << c.question;
    std::int64_t expectedBegin = 0;
    for (const auto& piece : pieces) {
        EXPECT_EQ(piece.begin, expectedBegin) << c.question;
        EXPECT_GT(piece.end, piece.begin) << c.question;
        expectedBegin = piece.end;
    }
    EXPECT_EQ(expectedBegin, c.size) << c.question;
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

TEST(NextRequestLength, StaysWithinItsBoundsAndLeavesNoCrumbs) {
    RequestSizing sizing{256 * kKiB, 20 * kMiB, milliseconds(1000), 10};
    // Unknown speed: a modest first request.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 1000 * kMiB, 0, sizing), 1 * kMiB);
    // A fast connection is held to the largest request.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 1000 * kMiB, 1e9, sizing), 20 * kMiB);
    // A slow one asks for about a second's worth, never below a piece.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 1000 * kMiB, 512 * kKiB, sizing), 512 * kKiB);
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 1000 * kMiB, 1000, sizing), 256 * kKiB);
    // Near the end requests shrink, so that the tail is shared out.
    EXPECT_EQ(nextRequestLength(0, 100 * kMiB, 20 * kMiB, 1e9, sizing), 1 * kMiB);
    // A rest smaller than a piece is taken along rather than left behind.
    EXPECT_EQ(nextRequestLength(0, 1 * kMiB + 100 * kKiB, 1000 * kMiB, 1e6, sizing),
              1 * kMiB + 100 * kKiB);
}

}  // namespace
}  // namespace quorvane::engine
