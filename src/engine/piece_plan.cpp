#include "engine/piece_plan.h"

#include <algorithm>
#include <cmath>

namespace quorvane::engine {
namespace {

constexpr std::int64_t kAlignment = 64 * 1024;

// Rounds a split point down to a multiple of kAlignment when that keeps it inside the range.
std::int64_t alignedMiddle(std::int64_t begin, std::int64_t end) {
    std::int64_t middle = begin + (end - begin) / 2;
    std::int64_t aligned = middle - middle % kAlignment;
    return aligned > begin ? aligned : middle;
}

// A request lasts this many waits for an answer, which costs it 2 % at most.
constexpr double kAnswerWaitsPerRequest = 50;

// Where a running request is cut: a page boundary, as near as that gets, since every byte the
// busy connection still has to fetch may be a slow one.
constexpr std::int64_t kCutAlignment = 4 * 1024;

std::int64_t alignedUp(std::int64_t offset, std::int64_t alignment = kAlignment) {
    return (offset + alignment - 1) / alignment * alignment;
}

double secondsOf(std::chrono::milliseconds duration) {
    return duration.count() / 1000.0;
}

}  // namespace

std::vector<Piece> initialPieces(std::int64_t size, int connections, std::int64_t minPiece) {
    std::int64_t byMinimum = size / std::max<std::int64_t>(1, minPiece);
    std::int64_t count = std::clamp<std::int64_t>(byMinimum, 1, std::max(1, connections));
    std::vector<Piece> pieces;
    std::int64_t begin = 0;
    for (std::int64_t i = 1; i <= count; ++i) {
        std::int64_t end = size;
        if (i != count) {
            std::int64_t even = size / count * i;
            std::int64_t aligned = even - even % kAlignment;
            end = aligned > begin ? aligned : even;
        }
        pieces.push_back({begin, end, 0});
        begin = end;
    }
    return pieces;
}

std::vector<Piece> piecesForGaps(std::span<const std::pair<std::int64_t, std::int64_t>> gaps,
                                 int connections, std::int64_t minPiece,
                                 std::int64_t largestPiece) {
    std::int64_t missing = 0;
    for (auto [begin, end] : gaps) missing += end - begin;
    if (missing <= 0) return {};
    // Each range gets its part of the connections' shares (all of them for a whole file: one
    // piece more would be left over for the end, a round trip and a short piece later), and
    // enough pieces to keep under largestPiece.
    const std::int64_t shares = std::clamp<std::int64_t>(
        missing / std::max<std::int64_t>(1, minPiece), 1, std::max(1, connections));
    const std::int64_t largest = largestPiece > 0 ? std::max(largestPiece, minPiece) : 0;
    std::vector<Piece> pieces;
    for (auto [begin, end] : gaps) {
        std::int64_t length = end - begin;
        if (length <= 0) continue;
        const auto part = static_cast<double>(length) * static_cast<double>(shares) /
                          static_cast<double>(missing);
        std::int64_t count =
            std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(part - 1e-9)));
        if (largest > 0) count = std::max(count, (length + largest - 1) / largest);
        for (const Piece& piece : initialPieces(
                 length, static_cast<int>(std::min<std::int64_t>(count, 1 << 20)), minPiece)) {
            pieces.push_back({begin + piece.begin, begin + piece.end, 0});
        }
    }
    return pieces;
}

std::optional<Takeover> planTakeover(std::span<const Claim> claims, std::int64_t minPiece,
                                     std::chrono::milliseconds patience, double ownBytesPerSecond) {
    std::optional<std::size_t> widest;
    for (std::size_t i = 0; i < claims.size(); ++i) {
        std::int64_t rest = claims[i].end - claims[i].requestEnd;
        if (rest > 0 && (!widest || rest > claims[*widest].end - claims[*widest].requestEnd)) {
            widest = i;
        }
    }
    if (widest) {
        const Claim& claim = claims[*widest];
        std::int64_t rest = claim.end - claim.requestEnd;
        std::int64_t begin =
            rest >= 2 * minPiece ? alignedMiddle(claim.requestEnd, claim.end) : claim.requestEnd;
        return Takeover{*widest, begin, claim.end, false};
    }
    // Everything is asked for: relieve the request that will take longest to finish.
    std::optional<std::size_t> slowest;
    double longest = secondsOf(patience);
    for (std::size_t i = 0; i < claims.size(); ++i) {
        std::int64_t pending = claims[i].requestEnd - claims[i].offset;
        if (pending < 2 * minPiece || claims[i].bytesPerSecond <= 0) continue;
        double seconds = pending / claims[i].bytesPerSecond;
        if (seconds > longest) {
            longest = seconds;
            slowest = i;
        }
    }
    if (!slowest) return std::nullopt;
    const Claim& claim = claims[*slowest];
    std::int64_t begin = alignedMiddle(claim.offset, claim.requestEnd);
    if (ownBytesPerSecond > 0) {
        // The busy connection keeps what it fetches while the idle one fetches the rest.
        double kept = static_cast<double>(claim.requestEnd - claim.offset) * claim.bytesPerSecond /
                      (claim.bytesPerSecond + ownBytesPerSecond);
        begin = alignedUp(claim.offset + static_cast<std::int64_t>(kept), kCutAlignment);
        // Too slow to take a piece's worth: the busy connection is better left alone.
        if (claim.requestEnd - begin < minPiece) return std::nullopt;
    }
    return Takeover{*slowest, begin, claim.requestEnd, true};
}

namespace {

// Seconds the claims of known speed need for what is left of them and `unassigned` bytes besides,
// with `extraRate` more; nothing when no speed is known.
std::optional<double> secondsLeft(std::span<const Claim> claims, std::int64_t unassigned,
                                  double extraRate) {
    double bytes = static_cast<double>(unassigned);
    double rate = extraRate;
    for (const Claim& claim : claims) {
        if (claim.bytesPerSecond <= 0) continue;
        bytes += static_cast<double>(claim.end - claim.offset);
        rate += claim.bytesPerSecond;
    }
    if (rate <= 0) return std::nullopt;
    return bytes / rate;
}

}  // namespace

std::vector<Relief> planRelief(std::span<const Claim> claims, std::int64_t unassigned,
                               std::int64_t minPiece, std::chrono::milliseconds patience) {
    std::vector<Relief> reliefs;
    auto together = secondsLeft(claims, unassigned, 0);
    if (!together) return reliefs;
    for (std::size_t i = 0; i < claims.size(); ++i) {
        const Claim& claim = claims[i];
        if (claim.bytesPerSecond <= 0) continue;
        double alone = static_cast<double>(claim.end - claim.offset) / claim.bytesPerSecond;
        if (alone < 1.5 * *together || alone - *together < secondsOf(patience)) continue;
        std::int64_t keep = static_cast<std::int64_t>(claim.bytesPerSecond * *together);
        std::int64_t begin = alignedUp(claim.offset + keep, kCutAlignment);
        if (claim.end - begin >= minPiece) reliefs.push_back({i, begin});
    }
    return reliefs;
}

std::int64_t shareOfFreePiece(std::int64_t length, std::span<const Claim> claims,
                              std::int64_t unassigned, double ownBytesPerSecond,
                              std::int64_t minPiece) {
    if (ownBytesPerSecond <= 0) return length;
    auto seconds = secondsLeft(claims, unassigned + length, ownBytesPerSecond);
    if (!seconds) return length;
    std::int64_t share =
        alignedUp(std::max(static_cast<std::int64_t>(ownBytesPerSecond * *seconds), 2 * minPiece));
    return length - share < minPiece ? length : share;
}

std::int64_t nextRequestLength(std::int64_t offset, std::int64_t end, std::int64_t largestRequest,
                               std::int64_t minPiece, double bytesPerSecond, double answerSeconds) {
    std::int64_t left = end - offset;
    std::int64_t length = std::max(largestRequest, minPiece);
    if (bytesPerSecond > 0 && answerSeconds > 0) {
        const double lasting = bytesPerSecond * answerSeconds * kAnswerWaitsPerRequest;
        length =
            std::clamp(static_cast<std::int64_t>(std::min(lasting, 1e15)), 4 * minPiece, length);
    }
    // No crumb smaller than a piece is left behind.
    if (left - length < minPiece) length = left;
    return std::min(length, left);
}

}  // namespace quorvane::engine
