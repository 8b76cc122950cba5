#include "platform/open_folder.h"

#include "platform/file_descriptor_posix.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

extern char** environ;

namespace quorvane::platform {

namespace fs = std::filesystem;

namespace {

// The desktop's opener, looked up in PATH before forking so that the child does no allocation.
fs::path findOpener() {
    const char* searchPath = std::getenv("PATH");
    std::string_view rest = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty()) {
            const fs::path candidate = fs::path(entry) / "xdg-open";
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        if (colon == std::string_view::npos) return {};
        rest.remove_prefix(colon + 1);
    }
}

// Runs in the forked child of a possibly multi-threaded program: async-signal-safe calls only.
// The grandchild execs the opener and is adopted by init when this child ends, so nobody has to
// wait for it; an exec failure is reported through the close-on-exec pipe.
[[noreturn]] void runDetached(const char* opener, char* const argv[], int reportPipe) {
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    ::setsid();
    const int nullInput = ::open("/dev/null", O_RDONLY);
    if (nullInput >= 0) ::dup2(nullInput, STDIN_FILENO);
    ::execve(opener, argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(reportPipe, &error, sizeof error);
    ::_exit(127);
}

bool waitForChild(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// True when nothing came through the pipe before it closed: the opener was started.
bool execSucceeded(int readEnd) {
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(readEnd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    return got == 0;
}

}  // namespace

bool openFolder(const fs::path& folder) {
    std::error_code error;
    // Absolute, so that a folder name starting with '-' cannot be taken for an option.
    const fs::path absolute = fs::absolute(folder, error);
    const fs::path opener = findOpener();
    if (error || opener.empty() || !fs::is_directory(absolute, error)) return false;

    std::string openerText = opener.string();
    std::string folderText = absolute.string();
    char* const argv[] = {openerText.data(), folderText.data(), nullptr};
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    FileDescriptor reportRead(ends[0]);
    FileDescriptor reportWrite(ends[1]);

    const pid_t child = ::fork();
    if (child == 0) runDetached(openerText.c_str(), argv, reportWrite.get());
    reportWrite.close();  // so that the read below ends when the opener has started
    const bool started = child > 0 && waitForChild(child) && execSucceeded(reportRead.get());
    return started;
}

}  // namespace quorvane::platform
