#include "ftp_server.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace quorvane::testing {

namespace {

int sharedServerPort() {
    const char* text = std::getenv("QUORVANE_TEST_FTP_PORT");
    int port = 0;
    if (text == nullptr) return 0;
    const std::string_view value(text);
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
    return error == std::errc() && end == value.data() + value.size() ? port : 0;
}

}  // namespace

std::string FtpServer::whyUnavailable() {
    if (sharedServerPort() > 0) return {};
    return "no FTP server: tools/test.sh --windows starts one and sets QUORVANE_TEST_FTP_PORT";
}

// The shared server's root is the temporary folder, so the served folder must lie inside it.
FtpServer::FtpServer(const std::filesystem::path& root) {
    auto temp = std::filesystem::temp_directory_path();
    if (!temp.has_filename()) temp = temp.parent_path();  // it ends with a separator on Windows
    const auto relative = root.lexically_relative(temp);
    if (relative.empty() || *relative.begin() == "..") return;
    port_ = sharedServerPort();
    const std::u8string folder = relative.generic_u8string();
    base_ = "ftp://127.0.0.1:" + std::to_string(port_) + "/" +
            std::string(folder.begin(), folder.end()) + "/";
}

FtpServer::~FtpServer() = default;

}  // namespace quorvane::testing
