#include "requests.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <deque>
#include <list>
#include <map>

#include "engine/curl_handles.h"

namespace quorvane::checklist {
namespace {

constexpr std::chrono::milliseconds kConnectTimeout{10000};
constexpr long kMostRedirects = 10;
// Header lines of all the heads of one request, redirects included.
constexpr std::size_t kLongestHeads = 4 * engine::kLongestResponseHead;
constexpr std::size_t kLongestQuote = 100;

struct Server {
    int inFlight = 0;
    int unanswered = 0;
    bool answered = false;
};

struct Transfer {
    const Request* request = nullptr;
    Reply* reply = nullptr;
    Server* server = nullptr;
    engine::EasyHandle easy;
    engine::HeaderList headers;
    char error[CURL_ERROR_SIZE] = {};
    std::size_t headBytes = 0;
};

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    transfer.headBytes += length;
    if (transfer.headBytes > kLongestHeads) return 0;
    const std::string_view line(data, length);
    Reply& reply = *transfer.reply;
    reply.head.addLine(line);
    constexpr std::string_view kContentRange = "content-range:";
    if (line.starts_with("HTTP/")) {
        reply.contentRange.clear();
    } else if (startsWithIgnoringCase(line, kContentRange)) {
        reply.contentRange = trimmed(line.substr(kContentRange.size())).substr(0, kLongestQuote);
    }
    return length;
}

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    const auto& onBody = transfer.request->onBody;
    if (!onBody || onBody(transfer.reply->head, {data, length})) return length;
    transfer.reply->stoppedByCaller = true;
    return 0;
}

// Requests to one scheme, host and port share a server; an address curl cannot read has its own.
std::string serverOf(const std::string& address) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        return address;
    }
    std::string server;
    for (auto part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        char* text = nullptr;
        if (curl_url_get(url.get(), part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) server += text;
        curl_free(text);
        server += '|';
    }
    return server;
}

long milliseconds(std::chrono::milliseconds duration) {
    return static_cast<long>(
        std::clamp<std::chrono::milliseconds::rep>(duration.count(), 1, LONG_MAX));
}

engine::EasyHandle easyFor(Transfer& transfer) {
    engine::EasyHandle easy(curl_easy_init());
    CURL* e = easy.get();
    const Request& request = *transfer.request;
    curl_easy_setopt(e, CURLOPT_URL, request.address.c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMostRedirects);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     milliseconds(std::min(kConnectTimeout, request.deadline)));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, milliseconds(request.deadline));
    if (request.stallIsFailure) {
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1024L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 20L);
    }
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    // The file's own bytes, as the downloader asks for them; libcurl decodes nothing.
    transfer.headers.reset(curl_slist_append(nullptr, "Accept-Encoding: identity"));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, transfer.headers.get());
    if (!request.range.empty()) curl_easy_setopt(e, CURLOPT_RANGE, request.range.c_str());
    if (request.headOnly) curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    return easy;
}

void finish(Transfer& transfer, CURLcode code) {
    Reply& reply = *transfer.reply;
    CURL* e = transfer.easy.get();
    const bool stopped = reply.stoppedByCaller && code == CURLE_WRITE_ERROR;
    if (code != CURLE_OK && !stopped) {
        if (transfer.headBytes > kLongestHeads) {
            reply.error = "more than " + std::to_string(kLongestHeads >> 10) + " KiB of headers";
        } else {
            reply.error = transfer.error[0] != '\0' ? transfer.error : curl_easy_strerror(code);
        }
    }
    const char* scheme = nullptr;
    curl_easy_getinfo(e, CURLINFO_SCHEME, &scheme);
    reply.ftp = scheme != nullptr && std::string_view(scheme) == "FTP";
    curl_off_t length = -1;
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (reply.ftp) reply.ftpSize = length;

    Server& server = *transfer.server;
    --server.inFlight;
    if (transfer.headBytes > 0) {
        server.answered = true;
    } else if (!reply.error.empty()) {
        ++server.unanswered;
    }
}

}  // namespace

std::string printable(std::string_view text) {
    std::string shown;
    for (char c : text.substr(0, kLongestQuote)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    if (text.size() > kLongestQuote) shown += "...";
    return shown;
}

std::vector<Reply> runRequests(std::vector<Request> requests, const RequestLimits& limits) {
    std::vector<Reply> replies(requests.size());
    std::map<std::string, Server> servers;
    std::vector<Server*> serverOfRequest;
    std::deque<std::size_t> waiting;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        serverOfRequest.push_back(&servers[serverOf(requests[i].address)]);
        waiting.push_back(i);
    }
    engine::MultiHandle multi(curl_multi_init());
    std::list<Transfer> running;

    // Starts what the limits allow, in the list's order; refuses what a silent server holds.
    const auto startWhatMay = [&] {
        for (auto at = waiting.begin(); at != waiting.end();) {
            Server& server = *serverOfRequest[*at];
            if (!server.answered && server.unanswered >= limits.unansweredBeforeGivingUp) {
                replies[*at].asked = false;
                replies[*at].error = "not asked: its server did not answer " +
                                     std::to_string(server.unanswered) + " other requests";
                at = waiting.erase(at);
                continue;
            }
            const int serverLimit =
                server.answered ? limits.atOnceToAServer : limits.atOnceToAnUntriedServer;
            if (static_cast<int>(running.size()) >= limits.atOnce) break;
            if (server.inFlight >= serverLimit) {
                ++at;
                continue;
            }
            Transfer& transfer = running.emplace_back();
            transfer.request = &requests[*at];
            transfer.reply = &replies[*at];
            transfer.server = &server;
            transfer.easy = easyFor(transfer);
            ++server.inFlight;
            curl_multi_add_handle(multi.get(), transfer.easy.get());
            at = waiting.erase(at);
        }
    };

    while (!waiting.empty() || !running.empty()) {
        startWhatMay();
        int active = 0;
        curl_multi_perform(multi.get(), &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            finish(*transfer, message->data.result);
            curl_multi_remove_handle(multi.get(), message->easy_handle);
            running.remove_if([&](const Transfer& t) { return &t == transfer; });
        }
        if (!running.empty()) curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    return replies;
}

}  // namespace quorvane::checklist
