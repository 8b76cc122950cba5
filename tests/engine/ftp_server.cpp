#include "ftp_server.h"

#include <curl/curl.h>

#include <memory>

namespace quorvane::testing {

bool acceptsConnections(int port) {
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, 1000L);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    return curl_easy_perform(curl.get()) == CURLE_OK;
}

bool FtpServer::running() const {
    return port_ > 0 && acceptsConnections(port_);
}

std::string FtpServer::url(const std::string& name) const {
    return base_ + name;
}

}  // namespace quorvane::testing
