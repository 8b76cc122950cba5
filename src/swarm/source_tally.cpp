#include "swarm/source_tally.h"

#include <algorithm>

namespace quorvane::swarm {

SourceTally::SourceTally(std::int64_t totalSize, std::int64_t pieceLength)
    : totalSize_(std::max<std::int64_t>(totalSize, 0)),
      pieceLength_(std::max(pieceLength, kBlock)),
      pieces_(static_cast<int>((totalSize_ + pieceLength_ - 1) / pieceLength_)),
      blocksPerPiece_(static_cast<int>((pieceLength_ + kBlock - 1) / kBlock)),
      sources_(static_cast<std::size_t>(pieces_) * static_cast<std::size_t>(blocksPerPiece_),
               Source::none) {}

std::size_t SourceTally::index(int piece, int block) const {
    return static_cast<std::size_t>(piece) * static_cast<std::size_t>(blocksPerPiece_) +
           static_cast<std::size_t>(block);
}

bool SourceTally::valid(int piece, int block) const {
    return piece >= 0 && piece < pieces_ && block >= 0 && block < blocksPerPiece_ &&
           blockBytes(piece, block) > 0;
}

std::int64_t SourceTally::blockBytes(int piece, int block) const {
    const std::int64_t start = piece * pieceLength_ + block * kBlock;
    const std::int64_t pieceEnd = std::min(totalSize_, (piece + std::int64_t{1}) * pieceLength_);
    return std::clamp<std::int64_t>(pieceEnd - start, 0, kBlock);
}

void SourceTally::count(std::size_t at, std::int64_t bytes, Source from) {
    sources_[at] = from;
    if (from == Source::player) fromPlayers_ += bytes;
    if (from == Source::webSeed) fromWebSeeds_ += bytes;
}

void SourceTally::uncount(std::size_t at, std::int64_t bytes) {
    if (sources_[at] == Source::player) fromPlayers_ -= bytes;
    if (sources_[at] == Source::webSeed) fromWebSeeds_ -= bytes;
    sources_[at] = Source::none;
}

void SourceTally::resumed(int piece) {
    for (int b = 0; b < blocksPerPiece_; ++b) {
        if (!valid(piece, b)) continue;
        const auto at = index(piece, b);
        uncount(at, blockBytes(piece, b));
        sources_[at] = Source::resumed;
    }
}

void SourceTally::block(int piece, int block, Source from) {
    if (!valid(piece, block) || (from != Source::player && from != Source::webSeed)) return;
    last_ = from;
    const auto at = index(piece, block);
    if (sources_[at] != Source::none) return;  // a copy that came twice, or counted by `finish`
    count(at, blockBytes(piece, block), from);
}

void SourceTally::pieceFailed(int piece) {
    for (int b = 0; b < blocksPerPiece_; ++b) {
        if (!valid(piece, b)) continue;
        const auto at = index(piece, b);
        if (sources_[at] != Source::resumed) uncount(at, blockBytes(piece, b));
    }
}

void SourceTally::finish(Source fallback) {
    const Source to = last_ != Source::none ? last_ : fallback;
    for (int piece = 0; piece < pieces_; ++piece) {
        for (int b = 0; b < blocksPerPiece_; ++b) {
            const auto at = index(piece, b);
            if (valid(piece, b) && sources_[at] == Source::none) {
                count(at, blockBytes(piece, b), to);
            }
        }
    }
}

}  // namespace quorvane::swarm
