#pragma once

// One connection of a job: a libcurl easy handle reused request after request (so that its TCP
// connection is kept), the share of the file it is fetching and the bytes waiting to be written.

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/curl_handles.h"
#include "engine/job_options.h"
#include "engine/piece_plan.h"
#include "engine/response_head.h"

namespace quorvane::engine {

using Clock = std::chrono::steady_clock;

class Job;

inline constexpr std::int64_t kUnbounded = std::numeric_limits<std::int64_t>::max();

class Transfer {
  public:
    // opening: a request that only opens the connection for later ones, its answer unused.
    enum class State { idle, running, pausing, opening };
    // Why the write callback refused bytes: the request was cut short on purpose (its tail was
    // given to another connection), or the response must not be written at all.
    enum class Cut { none, trimmed, refused };

    Transfer(Job& job, const JobOptions& options, bool ftp);

    CURL* easy() const { return easy_.get(); }
    Job& job() const { return job_; }

    // Sets up the next request; the caller adds the handle to the multi handle.
    void prepare(const RequestedRange& asked, bool headersOnly,
                 std::chrono::milliseconds connectTimeout, Clock::time_point now);
    // Speed over the finished requests and the one under way.
    double bytesPerSecond(Clock::time_point now) const;
    // How long that speed has been measured for.
    double measuredSeconds(Clock::time_point now) const;
    // Counts a finished request's bytes and time into the speed.
    void recordFinishedRequest(Clock::time_point now);
    // How long the last finished request waited for its first byte after it was sent; 0 before.
    double answerSeconds() const { return answerSeconds_; }

    // The share [begin, end), to be fetched from its first byte, after `failures` failed tries.
    void assign(std::int64_t begin, std::int64_t end, int failures = 0);
    // What is left of the share, to be shared out again; the share then ends where it stands.
    Piece giveBackRest();
    // The share ends at `at`, and so does the request under way when it asks for more.
    void shortenTo(std::int64_t at);
    bool hasWork() const { return offset < end; }
    // No request before `at`.
    void pauseUntil(Clock::time_point at);
    void wakeIfDue(Clock::time_point now);

    State state = State::idle;
    Clock::time_point resumeAt{};
    std::int64_t offset = 0;      // next byte expected
    std::int64_t requestEnd = 0;  // end of the bytes asked for (exclusive)
    std::int64_t end = 0;         // end of this connection's share (exclusive)
    int failures = 0;             // of the current share
    RequestedRange asked;
    bool headersOnly = false;
    ResponseHead head;
    std::size_t headBytes = 0;  // of the current request, redirects included
    bool headTooLarge = false;
    bool checked = false;
    Cut cut = Cut::none;
    std::vector<char> batch;
    std::int64_t batchOffset = 0;
    char errorDetail[CURL_ERROR_SIZE] = {};

  private:
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* self);
    void configure(const JobOptions& options, bool ftp);

    Job& job_;
    EasyHandle easy_;
    HeaderList requestHeaders_;
    std::int64_t requestStartOffset_ = 0;
    Clock::time_point requestStart_{};
    std::int64_t finishedBytes_ = 0;
    double finishedSeconds_ = 0;
    double answerSeconds_ = 0;
};

}  // namespace quorvane::engine
