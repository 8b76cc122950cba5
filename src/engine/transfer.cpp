#include "engine/transfer.h"

#include <algorithm>
#include <string_view>

#include "engine/job.h"
#include "engine/receive_buffers.h"

namespace quorvane::engine {
namespace {

constexpr const char* kAllowedProtocols = "http,https,ftp";

long wholeSeconds(std::chrono::milliseconds duration) {
    return std::max<long>(1, static_cast<long>((duration.count() + 999) / 1000));
}

}  // namespace

Transfer::Transfer(Job& job, const JobOptions& options, bool ftp)
    : job_(job), easy_(curl_easy_init()) {
    batch_.reserve(options.tuning.writeBatch);
    configure(options, ftp);
}

void Transfer::configure(const JobOptions& options, bool ftp) {
    CURL* e = easy_.get();
    const Tuning& tuning = options.tuning;
    curl_easy_setopt(e, CURLOPT_URL, options.url.c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!tuning.extraCaFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, tuning.extraCaFile.c_str());
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(tuning.lowSpeedLimit));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, wholeSeconds(tuning.lowSpeedWindow));
    setReceiveBuffers(e, tuning.receiveBuffer);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);  // a stop never waits for a hanging name lookup
#endif
    curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorDetail_);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Quorvane/3.0");
    // The file's own bytes, never a compressed form of them (libcurl decodes nothing by default).
    requestHeaders_.reset(curl_slist_append(nullptr, "Accept-Encoding: identity"));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, requestHeaders_.get());
    if (ftp) {
        curl_easy_setopt(e, CURLOPT_USERNAME, options.ftpUser.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, options.ftpPassword.c_str());
        curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 1L);
    }
}

void Transfer::prepare(const RequestedRange& range, bool onlyHeaders,
                       std::chrono::milliseconds connectTimeout, Clock::time_point now) {
    state_ = State::running;
    asked_ = range;
    headersOnly_ = onlyHeaders;
    head_ = ResponseHead{};
    headBytes_ = 0;
    headTooLarge_ = false;
    checked_ = false;
    cut_ = Cut::none;
    errorDetail_[0] = '\0';
    batchOffset_ = offset_;
    requestStartOffset_ = offset_;
    requestStart_ = now;
    CURL* e = easy_.get();
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
    if (onlyHeaders) {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);  // also clears NOBODY
    }
    if (range.ranged) {
        auto text = std::to_string(range.first) + "-" + std::to_string(range.last);
        curl_easy_setopt(e, CURLOPT_RANGE, text.c_str());  // libcurl copies it
    } else {
        curl_easy_setopt(e, CURLOPT_RANGE, nullptr);
    }
}

void Transfer::prepareOpening(std::chrono::milliseconds connectTimeout, Clock::time_point now) {
    prepare({}, true, connectTimeout, now);
    state_ = State::opening;
}

double Transfer::bytesPerSecond(Clock::time_point now) const {
    double seconds = finishedSeconds_;
    std::int64_t bytes = finishedBytes_;
    if (state_ == State::running) {
        seconds += std::chrono::duration<double>(now - requestStart_).count();
        bytes += offset_ - requestStartOffset_;
    }
    return seconds > 0.05 ? bytes / seconds : 0;
}

double Transfer::measuredSeconds(Clock::time_point now) const {
    double seconds = finishedSeconds_;
    if (state_ == State::running)
        seconds += std::chrono::duration<double>(now - requestStart_).count();
    return seconds;
}

void Transfer::recordFinishedRequest(Clock::time_point now) {
    finishedSeconds_ += std::chrono::duration<double>(now - requestStart_).count();
    finishedBytes_ += offset_ - requestStartOffset_;
    failures_ = 0;
    curl_off_t sent = 0;
    curl_off_t answered = 0;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &sent) == CURLE_OK &&
        curl_easy_getinfo(easy_.get(), CURLINFO_STARTTRANSFER_TIME_T, &answered) == CURLE_OK &&
        answered > sent) {
        answerSeconds_ = static_cast<double>(answered - sent) / 1e6;
    }
}

void Transfer::assign(std::int64_t begin, std::int64_t shareEnd, int failed) {
    offset_ = requestEnd_ = batchOffset_ = begin;  // nothing waits in the batch between shares
    end_ = shareEnd;
    failures_ = failed;
}

void Transfer::assignWholeFile(std::int64_t size) {
    offset_ = batchOffset_ = 0;
    requestEnd_ = end_ = size >= 0 ? size : kUnbounded;
}

void Transfer::reshape(std::int64_t askedEnd, std::int64_t shareEnd) {
    requestEnd_ = askedEnd;
    end_ = shareEnd;
}

Piece Transfer::giveBackRest() {
    Piece rest{offset_, end_, failures_};
    end_ = requestEnd_ = offset_;
    return rest;
}

void Transfer::shortenTo(std::int64_t at) {
    end_ = at;
    requestEnd_ = std::min(requestEnd_, at);
}

void Transfer::pauseUntil(Clock::time_point at) {
    state_ = State::pausing;
    resumeAt_ = at;
}

void Transfer::wakeIfDue(Clock::time_point now) {
    if (state_ == State::pausing && now >= resumeAt_) state_ = State::idle;
}

void Transfer::keep(const char* data, std::size_t length) {
    batch_.insert(batch_.end(), data, data + length);
    offset_ += static_cast<std::int64_t>(length);
}

void Transfer::wroteStraight(std::size_t length) {
    offset_ += static_cast<std::int64_t>(length);
    batchOffset_ = offset_;
}

// The batch always ends where the received bytes do; the hash may have swapped it for an empty one.
void Transfer::batchDone() {
    batchOffset_ = offset_;
    batch_.clear();
}

std::size_t Transfer::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t length = size * count;
    transfer->headBytes_ += length;
    if (transfer->headBytes_ > kLongestResponseHead) {
        transfer->headTooLarge_ = true;
        return 0;  // ends the request
    }
    transfer->head_.addLine(std::string_view(data, length));
    return length;
}

std::size_t Transfer::onData(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    return transfer->job_.receive(*transfer, data, size * count);
}

}  // namespace quorvane::engine
