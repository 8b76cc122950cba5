#pragma once

// quorvane-fetch run as a child process in a folder, its standard output and error kept in
// files of their own, for the tests that use the command as a user would.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace quorvane::testing {

struct FetchFinished {
    int status = -1;  // exit status, -1 when ended by a signal
    std::string out;
    std::string err;
};

inline std::string contentsOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FetchChild {
  public:
    FetchChild(const std::filesystem::path& folder, std::vector<std::string> arguments)
        : outFile_(output_.path() / "out"), errFile_(output_.path() / "err") {
        arguments.insert(arguments.begin(), QUORVANE_FETCH_PATH);
        std::vector<char*> argv;  // made before fork: the child only calls what is safe there
        for (auto& word : arguments) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(::open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            if (::chdir(folder.c_str()) == 0) ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    FetchChild(const FetchChild&) = delete;
    FetchChild& operator=(const FetchChild&) = delete;

    void signal(int number) const { ::kill(pid_, number); }
    FetchFinished wait() const {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentsOf(outFile_),
                contentsOf(errFile_)};
    }

  private:
    ScratchFolder output_;
    std::filesystem::path outFile_, errFile_;
    pid_t pid_ = -1;
};

}  // namespace quorvane::testing
