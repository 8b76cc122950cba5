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

    // ---- the request ----------------------------------------------------------------------
    // Sets up the next request, which then runs; the caller adds the handle to the multi handle.
    void prepare(const RequestedRange& asked, bool headersOnly,
                 std::chrono::milliseconds connectTimeout, Clock::time_point now);
    // Sets up a request that only opens the connection for later ones.
    void prepareOpening(std::chrono::milliseconds connectTimeout, Clock::time_point now);
    // The handle is out of the multi handle.
    void requestRemoved() { state_ = State::idle; }
    // No request before `at`.
    void pauseUntil(Clock::time_point at);
    void wakeIfDue(Clock::time_point now);
    State state() const { return state_; }
    Clock::time_point resumeAt() const { return resumeAt_; }

    const RequestedRange& asked() const { return asked_; }
    bool headersOnly() const { return headersOnly_; }
    const ResponseHead& head() const { return head_; }
    std::size_t headBytes() const { return headBytes_; }  // of this request, redirects included
    bool headTooLarge() const { return headTooLarge_; }
    const char* errorDetail() const { return errorDetail_; }
    // Whether the answer was checked before its first byte was taken.
    bool checked() const { return checked_; }
    void markChecked() { checked_ = true; }
    Cut cut() const { return cut_; }
    void cutShort(Cut why) { cut_ = why; }

    // Speed over the finished requests and the one under way.
    double bytesPerSecond(Clock::time_point now) const;
    // How long that speed has been measured for.
    double measuredSeconds(Clock::time_point now) const;
    // A request that got all it asked for: its bytes and time count into the speed, and the
    // share's failed tries are forgotten.
    void recordFinishedRequest(Clock::time_point now);
    // How long the last finished request waited for its first byte after it was sent; 0 before.
    double answerSeconds() const { return answerSeconds_; }

    // ---- the share ------------------------------------------------------------------------
    // The share [begin, end), to be fetched from its first byte, after `failures` failed tries.
    void assign(std::int64_t begin, std::int64_t end, int failures = 0);
    // The file whole from its first byte: `size` bytes, or up to where the server ends it (-1).
    void assignWholeFile(std::int64_t size);
    // The request under way asks up to `requestEnd` and the share ends at `end`, from where the
    // connection stands.
    void reshape(std::int64_t requestEnd, std::int64_t end);
    // The next request asks up to `requestEnd`.
    void askUpTo(std::int64_t requestEnd) { requestEnd_ = requestEnd; }
    // What is left of the share, to be shared out again; the share then ends where it stands.
    Piece giveBackRest();
    // The share ends at `at`, and so does the request under way when it asks for more.
    void shortenTo(std::int64_t at);
    // One more failed try of the share; how many there have been.
    int countFailure() { return ++failures_; }
    bool hasWork() const { return offset_ < end_; }
    std::int64_t offset() const { return offset_; }          // next byte expected
    std::int64_t requestEnd() const { return requestEnd_; }  // end of the bytes asked for
    std::int64_t end() const { return end_; }                // end of the share (exclusive)
    int failures() const { return failures_; }               // of the current share

    // ---- bytes on their way to the file ---------------------------------------------------
    // The bytes before offset() that wait to be written, from batchOffset() on. The file's hash
    // may take the vector's storage when it is written.
    std::vector<char>& batch() { return batch_; }
    std::int64_t batchOffset() const { return batchOffset_; }
    bool batchHasRoomFor(std::size_t length) const {
        return batch_.size() + length <= batch_.capacity();
    }
    // Too large to be worth copying into an empty batch.
    bool writesStraight(std::size_t length) const {
        return batch_.empty() && length >= batch_.capacity();
    }
    // Takes bytes at offset() into the batch.
    void keep(const char* data, std::size_t length);
    // Bytes at offset() went to the file straight.
    void wroteStraight(std::size_t length);
    // The batch went to the file, or is lost with it.
    void batchDone();

  private:
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* self);
    void configure(const JobOptions& options, bool ftp);

    Job& job_;
    EasyHandle easy_;
    State state_ = State::idle;
    Clock::time_point resumeAt_{};
    std::int64_t offset_ = 0;
    std::int64_t requestEnd_ = 0;
    std::int64_t end_ = 0;
    int failures_ = 0;
    RequestedRange asked_;
    bool headersOnly_ = false;
    ResponseHead head_;
    std::size_t headBytes_ = 0;
    bool headTooLarge_ = false;
    bool checked_ = false;
    Cut cut_ = Cut::none;
    std::vector<char> batch_;
    std::int64_t batchOffset_ = 0;
    char errorDetail_[CURL_ERROR_SIZE] = {};
    HeaderList requestHeaders_;
    std::int64_t requestStartOffset_ = 0;
    Clock::time_point requestStart_{};
    std::int64_t finishedBytes_ = 0;
    double finishedSeconds_ = 0;
    double answerSeconds_ = 0;
};

}  // namespace quorvane::engine
