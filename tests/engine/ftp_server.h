#pragma once

// pyftpdlib serving a folder read-only to the anonymous user on 127.0.0.1. On Linux the test
// starts it; a Windows test program under Wine uses the one tools/test.sh --windows started on
// the Linux side, which serves the Windows temporary folder (QUORVANE_TEST_FTP_PORT).

#include <filesystem>
#include <string>

namespace quorvane::testing {

class FtpServer {
  public:
    // Why FTP cannot be tested here, or empty when it can.
    static std::string whyUnavailable();

    explicit FtpServer(const std::filesystem::path& root);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool running() const;
    std::string url(const std::string& name) const;

  private:
    long process_ = -1;
    int port_ = 0;
    std::string base_;  // "ftp://127.0.0.1:port/folder/"
};

// Whether something accepts TCP connections on the loopback port.
bool acceptsConnections(int port);

}  // namespace quorvane::testing
