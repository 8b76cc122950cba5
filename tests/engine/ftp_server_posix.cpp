#include "ftp_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine_test_support.h"

extern char** environ;

namespace quorvane::testing {

std::string FtpServer::whyUnavailable() {
    if (std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") == 0) return {};
    return "python3-pyftpdlib is not installed";
}

FtpServer::FtpServer(const std::filesystem::path& root) : port_(freeLoopbackPort()) {
    base_ = "ftp://127.0.0.1:" + std::to_string(port_) + "/";
    std::string portText = std::to_string(port_);
    std::string rootText = root.string();
    const char* argv[] = {"/usr/bin/python3", "-m", "pyftpdlib",      "-i",   "127.0.0.1", "-p",
                          portText.c_str(),   "-d", rootText.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/usr/bin/python3", &actions, nullptr, const_cast<char**>(argv),
                    environ) == 0) {
        process_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 200 && process_ > 0 && !acceptsConnections(port_); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

FtpServer::~FtpServer() {
    if (process_ <= 0) return;
    ::kill(static_cast<pid_t>(process_), SIGTERM);
    int status = 0;
    ::waitpid(static_cast<pid_t>(process_), &status, 0);
}

}  // namespace quorvane::testing
