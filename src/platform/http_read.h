#pragma once

// A plain HTTP GET that returns the body, for small texts such as the download list.

#include <atomic>
#include <string>

namespace quorvane::platform {

struct HttpReadLimits {
    long connectTimeoutMs = 10'000;
    long totalTimeoutMs = 30'000;
    long maxRedirects = 5;  // only to http or https
    std::size_t maxBodyBytes = 1 << 20;
};

// The body of a successful (2xx) answer; empty on any failure: refused, timed out, TLS error,
// redirect elsewhere than http/https, body over the limit, or cancel set. Only http and https
// addresses are read; certificates are always verified. Setting cancel makes a read under way
// return within about 100 ms.
std::string httpRead(const std::string& url, const std::atomic<bool>& cancel,
                     const HttpReadLimits& limits = {});

}  // namespace quorvane::platform
