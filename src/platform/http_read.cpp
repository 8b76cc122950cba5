#include "platform/http_read.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace quorvane::platform {

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// How often a read under way looks at the cancel flag.
constexpr int kCancelCheckMs = 50;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isHttpAddress(const std::string& url) {
    const std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* rawScheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK) return false;
    const std::unique_ptr<char, CurlTextDeleter> scheme(rawScheme);
    const std::string_view name(scheme.get());
    return name == "http" || name == "https";  // curl gives the scheme in lower case
}

// A cancelled read must not wait for a name lookup, which can hang for half a minute: libcurl
// then leaves its resolver thread behind instead of joining it. Older libcurl lacks the option
// and waits.
void leaveHangingLookupsBehind(CURL* handle) {
#if LIBCURL_VERSION_NUM >= 0x075700
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
#else
    (void)handle;
#endif
}

struct BodySink {
    std::string body;
    std::size_t maxBytes = 0;
};

// Refuses the whole answer as soon as it grows past the limit.
std::size_t appendToBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& sink = *static_cast<BodySink*>(context);
    const std::size_t bytes = size * count;
    if (bytes > sink.maxBytes - sink.body.size()) return 0;  // makes curl fail the transfer
    sink.body.append(data, bytes);
    return bytes;
}

EasyHandle makeRequest(const std::string& url, const HttpReadLimits& limits, BodySink& sink) {
    EasyHandle easy(curl_easy_init());
    if (!easy) return nullptr;
    CURL* handle = easy.get();
    const bool configured =
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, limits.maxRedirects) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(limits.maxBodyBytes)) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_USERAGENT, "Quorvane-Downloader/3.0") == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendToBody) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
    leaveHangingLookupsBehind(handle);
    return configured ? std::move(easy) : nullptr;
}

// Drives the transfer until it ends or cancel is set; the result of the finished transfer.
CURLcode runUntilDone(CURLM* multi, const std::atomic<bool>& cancel) {
    int running = 1;
    while (!cancel.load()) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
        if (running == 0) break;
        if (curl_multi_poll(multi, nullptr, 0, kCancelCheckMs, nullptr) != CURLM_OK) {
            return CURLE_FAILED_INIT;
        }
    }
    if (cancel.load()) return CURLE_ABORTED_BY_CALLBACK;
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE) return message->data.result;
    }
    return CURLE_FAILED_INIT;
}

bool answeredWithSuccess(CURL* easy) {
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status <= 299;
}

}  // namespace

std::string httpRead(const std::string& url, const std::atomic<bool>& cancel,
                     const HttpReadLimits& limits) {
    if (cancel.load() || !isHttpAddress(url)) return {};
    initialiseCurlOnce();
    BodySink sink;
    sink.maxBytes = limits.maxBodyBytes;
    const EasyHandle easy = makeRequest(url, limits, sink);
    const MultiHandle multi(curl_multi_init());
    if (!easy || !multi || curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) return {};

    const CURLcode result = runUntilDone(multi.get(), cancel);
    curl_multi_remove_handle(multi.get(), easy.get());
    if (result != CURLE_OK || !answeredWithSuccess(easy.get())) return {};
    return std::move(sink.body);
}

}  // namespace quorvane::platform
