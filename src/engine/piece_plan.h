#pragma once

// How a file of known size is shared out between connections: the first pieces, what an idle
// connection takes over from a busy one, and how much one range request asks for. Pure
// arithmetic, so that it can be checked on its own.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace quorvane::engine {

struct Piece {
    std::int64_t begin = 0;
    std::int64_t end = 0;  // exclusive
    int failures = 0;
};

// Equal pieces, one per connection, none smaller than minPiece (at least one piece).
std::vector<Piece> initialPieces(std::int64_t size, int connections, std::int64_t minPiece);

// The pieces that fetch the missing ranges [begin, end) of a file, in file order: the missing
// bytes shared out as evenly as initialPieces does, each range split on its own, no piece larger
// than largestPiece (when positive) so that the file fills from its start onwards.
std::vector<Piece> piecesForGaps(std::span<const std::pair<std::int64_t, std::int64_t>> gaps,
                                 int connections, std::int64_t minPiece, std::int64_t largestPiece);

// One connection's share: it is receiving [offset, requestEnd) and will ask for
// [requestEnd, end) next.
struct Claim {
    std::int64_t offset = 0;
    std::int64_t requestEnd = 0;
    std::int64_t end = 0;
    double bytesPerSecond = 0;  // 0 while unknown
};

// What an idle connection takes over from claim `from`: [begin, end). When cutsRequest is set the
// bytes were already asked for, so the busy connection must end its request at begin.
struct Takeover {
    std::size_t from = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    bool cutsRequest = false;
};

// Half of the largest unrequested rest (all of it when halves would fall below minPiece); when
// everything has been asked for, a share of the request that would otherwise keep its connection
// busy for longer than `patience`: split by speed, so that both connections end together
// (`ownBytesPerSecond` is the idle connection's, 0 while unknown, which halves the request).
std::optional<Takeover> planTakeover(std::span<const Claim> claims, std::int64_t minPiece,
                                     std::chrono::milliseconds patience,
                                     double ownBytesPerSecond = 0);

// A connection far behind the others gives back its share from `begin` on.
struct Relief {
    std::size_t from = 0;
    std::int64_t begin = 0;
};

// The connections (claims of known speed) that would end long after the rest: later than 1.5
// times, and `patience` more than, the time all of them together need for what is left (theirs
// and `unassigned` bytes). Each keeps what it fetches in that time.
std::vector<Relief> planRelief(std::span<const Claim> claims, std::int64_t unassigned,
                               std::int64_t minPiece, std::chrono::milliseconds patience);

// How much of a free piece of `length` bytes an idle connection at `ownBytesPerSecond` takes: what
// it fetches while the busy ones (claims of known speed) and it finish what is left, the piece and
// `unassigned` other free bytes included; the whole piece when its speed is unknown or the rest
// would be a crumb.
std::int64_t shareOfFreePiece(std::int64_t length, std::span<const Claim> claims,
                              std::int64_t unassigned, double ownBytesPerSecond,
                              std::int64_t minPiece);

// The length of the next range request of a connection that has [offset, end) to fetch, up to
// largestRequest. While its speed or the wait for an answer is unknown, all of it; then enough to
// last many times that wait, so that the round trip between requests costs little, but no more,
// so that the rest stays free for connections that fall idle near the end.
std::int64_t nextRequestLength(std::int64_t offset, std::int64_t end, std::int64_t largestRequest,
                               std::int64_t minPiece, double bytesPerSecond = 0,
                               double answerSeconds = 0);

}  // namespace quorvane::engine
