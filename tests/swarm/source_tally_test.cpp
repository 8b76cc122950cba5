// Where a download's bytes came from: every byte of the file counted once, for the right kind of
// sender, whatever order and however often libtorrent reports its blocks.

#include <gtest/gtest.h>

#include <cstdint>

#include "swarm/source_tally.h"

namespace quorvane::swarm {
namespace {

using Source = SourceTally::Source;
constexpr std::int64_t kBlock = 16 * 1024;
constexpr std::int64_t kPiece = 4 * kBlock;
constexpr std::int64_t kSize = 10 * kPiece + 11;  // 11 pieces, the last one 11 bytes
constexpr int kPieces = 11;

void reportAll(SourceTally& tally, Source from, int fromPiece = 0, int toPiece = kPieces) {
    for (int piece = fromPiece; piece < toPiece; ++piece) {
        for (int block = 0; block < 4; ++block) tally.block(piece, block, from);
    }
}

TEST(SourceTally, CountsEveryByteOnceForItsSender) {
    {
        SCOPED_TRACE("the last blocks never reported go to the last sender");
        SourceTally tally(kSize, kPiece);
        for (int piece = 0; piece < kPieces - 1; ++piece) {
            for (int block = 0; block < (piece == kPieces - 2 ? 2 : 4); ++block)
                tally.block(piece, block, Source::player);
        }
        tally.finish(Source::webSeed);
        EXPECT_EQ(tally.fromPlayers(), kSize);
        EXPECT_EQ(tally.fromWebSeeds(), 0);
    }
    {
        SCOPED_TRACE("reports after the end, twice, or out of the file change nothing");
        SourceTally tally(kSize, kPiece);
        reportAll(tally, Source::webSeed, 0, kPieces - 1);
        tally.finish(Source::player);
        reportAll(tally, Source::webSeed);
        reportAll(tally, Source::player);
        tally.block(kPieces, 0, Source::player);
        tally.block(0, 4, Source::player);
        tally.block(-1, 0, Source::player);
        tally.block(kPieces - 1, 1, Source::player);  // past the end of the 11-byte piece
        EXPECT_EQ(tally.fromWebSeeds(), kSize);
        EXPECT_EQ(tally.fromPlayers(), 0);
    }
    {
        SCOPED_TRACE("a piece that failed its check counts for whoever sends it again");
        SourceTally tally(kSize, kPiece);
        reportAll(tally, Source::webSeed, 0, 1);
        tally.pieceFailed(0);
        reportAll(tally, Source::player);
        tally.finish(Source::webSeed);
        EXPECT_EQ(tally.fromPlayers(), kSize);
        EXPECT_EQ(tally.fromWebSeeds(), 0);
    }
    {
        SCOPED_TRACE("pieces from an earlier session count for nobody, also at the end");
        SourceTally tally(kSize, kPiece);
        tally.resumed(0);
        tally.resumed(kPieces - 1);
        reportAll(tally, Source::player, 0, 1);
        tally.pieceFailed(0);  // a resumed piece is not uncounted either
        reportAll(tally, Source::webSeed, 1, 5);
        tally.finish(Source::player);
        EXPECT_EQ(tally.fromWebSeeds(), kSize - kPiece - 11);
        EXPECT_EQ(tally.fromPlayers(), 0);
    }
    {
        SCOPED_TRACE("with nothing reported, the end counts all for the fallback");
        SourceTally tally(kSize, kPiece);
        tally.finish(Source::webSeed);
        EXPECT_EQ(tally.fromWebSeeds(), kSize);
    }
}

}  // namespace
}  // namespace quorvane::swarm
