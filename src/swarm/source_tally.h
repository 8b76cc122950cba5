#pragma once

// Where the bytes of a download came from: the web seeds or the other players. Each block of the
// file counts once, for the kind of connection it came on; a piece that fails its check counts
// for nobody until it arrives again. libtorrent reports no block whose write ends after the last
// piece has passed its check (the bookkeeping it would report from is gone by then), so the last
// block or two of a download can go unreported: `finish` counts them for the sender of the last
// reported block, which sent at the same moment.

#include <cstdint>
#include <vector>

namespace quorvane::swarm {

class SourceTally {
  public:
    enum class Source : std::uint8_t { none, player, webSeed, resumed };

    SourceTally() = default;
    SourceTally(std::int64_t totalSize, std::int64_t pieceLength);

    // A piece that was in the file before this session: counted for neither.
    void resumed(int piece);
    void block(int piece, int block, Source from);
    void pieceFailed(int piece);
    // The file is complete: blocks not reported go to the last reported sender's kind, or to
    // `fallback` when nothing was reported.
    void finish(Source fallback);

    std::int64_t fromPlayers() const { return fromPlayers_; }
    std::int64_t fromWebSeeds() const { return fromWebSeeds_; }

  private:
    static constexpr std::int64_t kBlock = 16 * 1024;
    std::size_t index(int piece, int block) const;
    bool valid(int piece, int block) const;
    std::int64_t blockBytes(int piece, int block) const;
    void count(std::size_t at, std::int64_t bytes, Source from);
    void uncount(std::size_t at, std::int64_t bytes);

    std::int64_t totalSize_ = 0;
    std::int64_t pieceLength_ = kBlock;
    int pieces_ = 0;
    int blocksPerPiece_ = 0;
    std::vector<Source> sources_;  // per block
    Source last_ = Source::none;
    std::int64_t fromPlayers_ = 0;
    std::int64_t fromWebSeeds_ = 0;
};

}  // namespace quorvane::swarm
