#include "engine/failure.h"

namespace quorvane::engine {
namespace {

bool isTransientStatus(long status) {
    return status == 408 || status == 429 || status >= 500;
}

// Statuses worth a word of explanation, and what kind of failure they are.
struct KnownStatus {
    long status;
    const char* meaning;
    FailureKind kind;
};
constexpr KnownStatus kKnownStatuses[] = {
    {401, " (authorisation required)", FailureKind::accessDenied},
    {403, " (access forbidden)", FailureKind::accessDenied},
    {404, " (file not found)", FailureKind::notFound},
    {410, " (file gone)", FailureKind::notFound},
    {429, " (too many requests)", FailureKind::serverError},
    {503, " (service unavailable)", FailureKind::serverError},
};

Failure fromStatus(long status) {
    Failure failure{isTransientStatus(status), "the server answered HTTP " + std::to_string(status),
                    FailureKind::serverError};
    for (const KnownStatus& known : kKnownStatuses) {
        if (known.status != status) continue;
        failure.reason += known.meaning;
        failure.kind = known.kind;
    }
    return failure;
}

bool isTransientCode(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_BAD_CONTENT_ENCODING:
            return true;
        default:
            return false;
    }
}

// libcurl results that a person should read in plain words, and what kind of failure they are.
struct KnownCode {
    CURLcode code;
    const char* meaning;
    FailureKind kind;
};
constexpr KnownCode kKnownCodes[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, "the address leads to a scheme other than http, https or ftp",
     FailureKind::badAddress},
    // A libcurl built with only http, https and ftp (the Windows one) cannot even parse a
    // redirect to another scheme.
    {CURLE_URL_MALFORMAT,
     "the address is malformed or leads to a scheme other than http, https or ftp",
     FailureKind::badAddress},
    {CURLE_TOO_MANY_REDIRECTS, "too many redirects", FailureKind::tooManyRedirects},
    {CURLE_REMOTE_FILE_NOT_FOUND, "the server has no such file", FailureKind::notFound},
    {CURLE_FTP_COULDNT_RETR_FILE, "the server has no such file", FailureKind::notFound},
    {CURLE_LOGIN_DENIED, "the server refused the login", FailureKind::accessDenied},
    {CURLE_WEIRD_SERVER_REPLY, "the server's answer is malformed", FailureKind::serverError},
    {CURLE_PEER_FAILED_VERIFICATION, "the server's certificate could not be verified",
     FailureKind::certificate},
};

}  // namespace

Failure classifyFailure(CURLcode code, long httpStatus, const char* curlDetail) {
    if (code == CURLE_HTTP_RETURNED_ERROR && httpStatus >= 400) return fromStatus(httpStatus);
    Failure failure{isTransientCode(code), curl_easy_strerror(code), FailureKind::network};
    for (const KnownCode& known : kKnownCodes) {
        if (known.code != code) continue;
        failure.reason = known.meaning;
        failure.kind = known.kind;
    }
    if (curlDetail != nullptr && curlDetail[0] != '\0') {
        failure.reason += std::string(" (") + curlDetail + ")";
    }
    return failure;
}

}  // namespace quorvane::engine
