#pragma once

// The checker's requests, run many at once on one libcurl multi handle: a few at a time to each
// server, each with a total deadline. A server that has left requests unanswered and answered
// none is asked no more, so a list full of silent addresses ends in about one deadline.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/response_head.h"

namespace quorvane::checklist {

struct Request {
    std::string address;
    std::string range;      // "0-0" asks for those bytes only; empty asks for the whole file
    bool headOnly = false;  // no body: for FTP, whose size comes with the answer to SIZE
    std::chrono::milliseconds deadline{30000};
    bool stallIsFailure = false;  // a body slower than 1 kB/s for 20 s fails before the deadline
    // Gets the body as it arrives, with the head it belongs to; false ends the transfer there,
    // which is then no failure: the caller has what it wanted, or judges what it got.
    std::function<bool(const engine::ResponseHead& head, std::string_view bytes)> onBody;
};

struct Reply {
    engine::ResponseHead head;
    std::string contentRange;  // as received, for the report
    bool ftp = false;
    std::int64_t ftpSize = -1;  // what an FTP server told of the size, or of the range asked
    bool stoppedByCaller = false;
    bool asked = true;  // false when the request was not sent: its server is silent
    // Empty when the transfer ended well (or was ended by onBody).
    std::string error;
};

struct RequestLimits {
    int atOnce = 64;
    int atOnceToAnUntriedServer = 2;
    int atOnceToAServer = 4;  // once it has answered
    int unansweredBeforeGivingUp = 2;
};

// Runs every request to its end; the replies are in the order of the requests.
std::vector<Reply> runRequests(std::vector<Request> requests, const RequestLimits& limits = {});

// The text for a report line: printable ASCII as it stands, other bytes as \xNN, cut short.
std::string printable(std::string_view text);

}  // namespace quorvane::checklist
