#include "address_check.h"

#include <algorithm>
#include <cctype>

namespace quorvane::checklist {

struct HashState {
    engine::Sha256 digest;
    std::int64_t received = 0;
    bool headChecked = false;
    std::string problem;
};

namespace {

constexpr std::int64_t kLongestFtpHead = 4096;

std::string quoted(std::string_view text) {
    std::string shown = "\"";
    shown += printable(text);
    shown += '"';
    return shown;
}

// Why a first answer the downloader would refuse is refused, as the operator can act on it.
std::string refusal(const Reply& reply) {
    const engine::ResponseHead& head = reply.head;
    if (head.contentLengthInvalid) return "answers with a Content-Length that is no byte count";
    if (head.encoded) return "sends the file encoded (Content-Encoding), not as its bytes";
    if (head.status != 206) {
        return "answers a range request with status " + std::to_string(head.status);
    }
    if (!head.contentRange) return "answers a range request without a Content-Range";
    if (head.contentRange->first < 0) {
        return "answers with a Content-Range no program can read: " + quoted(reply.contentRange);
    }
    if (head.contentRange->total < 0) return "does not tell its size";
    return "answers the first byte with other bytes: Content-Range " + quoted(reply.contentRange) +
           (head.contentLength ? ", Content-Length " + std::to_string(*head.contentLength) : "");
}

bool isFtp(std::string_view address) {
    constexpr std::string_view kScheme = "ftp://";
    return address.size() >= kScheme.size() &&
           std::equal(kScheme.begin(), kScheme.end(), address.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

std::chrono::milliseconds hashDeadline(std::chrono::milliseconds deadline, std::int64_t size) {
    return deadline +
           std::chrono::seconds(std::max<std::int64_t>(size, 0) / kSlowestHashBytesPerSecond);
}

// The head of the whole file must describe the file the first answer did.
bool headFits(const engine::ResponseHead& head, const engine::FileIdentity& identity,
              HashState& state) {
    state.headChecked = true;
    if (head.status == 0) return true;  // FTP: no HTTP head to check
    const auto verdict = engine::checkResponse(head, {}, identity);
    if (verdict == engine::Verdict::changed) {
        state.problem = "changed while it was checked (size or validator)";
    } else if (verdict != engine::Verdict::accept) {
        state.problem = "answers the whole file with status " + std::to_string(head.status) +
                        (head.encoded ? ", encoded" : "");
    } else if (head.contentLength && *head.contentLength != identity.size) {
        state.problem = "announces " + std::to_string(*head.contentLength) +
                        " bytes for the whole file after " + std::to_string(identity.size);
    }
    return state.problem.empty();
}

}  // namespace

FirstByteCheck::FirstByteCheck(std::string address, std::chrono::milliseconds deadline)
    : address_(std::move(address)), deadline_(deadline) {}

Request FirstByteCheck::request() const {
    Request request{address_, "0-0", false, deadline_, false, {}};
    // FTP tells the size of the range asked for; the size of the file comes with its head alone.
    // Every FTP server resumes, as the downloader relies on.
    if (isFtp(address_)) {
        request.range.clear();
        request.headOnly = true;
    }
    // One byte answers the question; a server that sends the whole file instead is not read.
    request.onBody = [bytes = bodyBytes_, ftp = request.headOnly](const engine::ResponseHead& head,
                                                                  std::string_view data) {
        *bytes += static_cast<std::int64_t>(data.size());
        // libcurl writes what FTP told of the file as header lines into the body.
        if (ftp) return *bytes <= kLongestFtpHead;
        return head.status == 206 && *bytes <= 1;
    };
    return request;
}

AddressAnswer FirstByteCheck::judge(const Reply& reply) const {
    AddressAnswer answer;
    const auto problem = [&](const std::string& why) {
        answer.problem = address_ + " " + why;
        return answer;
    };
    if (!reply.asked) return problem(reply.error);
    if (!reply.error.empty()) return problem("does not answer: " + reply.error);
    if (reply.ftp) {
        answer.size = reply.ftpSize;
        answer.ranges = true;
        if (answer.size < 0) return problem("does not tell its size");
        answer.identity.size = answer.size;
        return answer;
    }
    const engine::ResponseHead& head = reply.head;
    switch (engine::checkResponse(head, {true, 0, 0}, std::nullopt)) {
        case engine::Verdict::accept:
            if (*bodyBytes_ > 1) return problem("sends more than the one byte asked for");
            answer.identity = engine::identityOf(head);
            answer.size = answer.identity.size;
            answer.ranges = true;
            return answer;
        case engine::Verdict::ignoresRanges:
            answer.identity = engine::identityOf(head);
            answer.size = answer.identity.size;
            if (answer.size < 0) return problem("does not tell its size");
            return problem("does not honour range requests (" + std::to_string(answer.size) +
                           " bytes)");
        default:
            return problem(refusal(reply));
    }
}

WholeFileHash::WholeFileHash(std::string address, const AddressAnswer& first,
                             std::chrono::milliseconds deadline)
    : address_(std::move(address)),
      identity_(first.identity),
      deadline_(hashDeadline(deadline, first.size)),
      state_(std::make_shared<HashState>()) {}

Request WholeFileHash::request() const {
    Request request{address_, {}, false, deadline_, true, {}};
    request.onBody = [identity = identity_, state = state_](const engine::ResponseHead& head,
                                                            std::string_view data) {
        if (!state->headChecked && !headFits(head, identity, *state)) return false;
        const auto length = static_cast<std::int64_t>(data.size());
        if (length > identity.size - state->received) {
            state->problem =
                "sends more than the " + std::to_string(identity.size) + " bytes it announced";
            return false;
        }
        state->received += length;
        state->digest.add(data);
        return true;
    };
    return request;
}

std::optional<std::string> WholeFileHash::judge(const Reply& reply, std::string& problem) const {
    HashState& state = *state_;
    if (state.problem.empty() && !state.headChecked && reply.error.empty()) {
        headFits(reply.head, identity_, state);
    }
    if (!state.problem.empty()) {
        problem = address_ + " " + state.problem;
    } else if (!reply.error.empty()) {
        problem = address_ + " could not be downloaded: " + reply.error;
    } else if (state.received != identity_.size) {
        problem = address_ + " ended after " + std::to_string(state.received) + " of " +
                  std::to_string(identity_.size) + " bytes";
    } else {
        return state.digest.finishHex();
    }
    return std::nullopt;
}

}  // namespace quorvane::checklist
