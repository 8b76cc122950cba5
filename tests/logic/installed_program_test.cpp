// The program's folders with the real file system and a user who is not root: installed into a
// folder the user cannot write, and portable in one the user can.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <sstream>

#include "app/program.h"
#include "app/startup.h"
#include "fake_controls.h"
#include "fake_downloader.h"
#include "list/list_retrieval.h"
#include "platform/file_system.h"
#include "platform/gbk_text.h"
#include "program_fixture.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

// The real operating-system services, with the program in the given folder and a list server
// that always answers the example list.
class ProgramInFolder final : public System {
  public:
    explicit ProgramInFolder(fs::path folder) : folder_(std::move(folder)) {}
    fs::path programFolder() override { return folder_; }
    std::string httpRead(const std::string&, const std::atomic<bool>&) override {
        return platform::utf8ToGbk(exampleList());
    }

  private:
    fs::path folder_;
};

// Root can write anywhere, so a check of permissions runs as "nobody" when the test is root.
constexpr uid_t kNobody = 65534;
constexpr int kCannotBecomeTheUser = 4;
constexpr std::string_view kNoOrdinaryUser = "no ordinary user here";

// Runs check in a child process, as an ordinary user with the given home; returns its output.
std::string runAsUser(const fs::path& home, const std::function<std::string()>& check) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const bool root = ::geteuid() == 0;
        if (root &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(kCannotBecomeTheUser);
        }
        ::setenv("HOME", home.c_str(), 1);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR"}) ::unsetenv(name);
        const std::string output = check();
        const bool written = ::write(pipeEnds[1], output.data(), output.size()) ==
                             static_cast<ssize_t>(output.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotBecomeTheUser) {
        return std::string(kNoOrdinaryUser);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return output;
}

// Start-up and list retrieval; tells where the downloads and the list file went.
std::string startProgramIn(const fs::path& programFolder) {
    ProgramInFolder system(programFolder);
    FakeControls ui;
    FakeDownloader downloader;
    Program program(ui, downloader, system);
    Context& c = program.context();
    prepareStartUp(c);
    retrieveList(c);
    std::ostringstream report;
    report << platform::utf8FromPath(c.g.downloadFolder) << '\n'
           << platform::utf8FromPath(c.g.listFilePath.parent_path()) << '\n'
           << platform::folderExists(c.g.downloadFolder) << platform::fileExists(c.g.listFilePath)
           << ui.items().size();
    return report.str();
}

std::vector<fs::path> everythingBelow(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) found.push_back(entry);
    return found;
}

class ProgramFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(home_);
        fs::create_directories(program_);
        // The ordinary user reaches the test's folders, owns the home and the program folder.
        fs::permissions(system_.root(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(home_.c_str(), kNobody, kNobody), 0);
            ASSERT_EQ(::chown(program_.c_str(), kNobody, kNobody), 0);
        }
    }
    void TearDown() override { fs::permissions(program_, fs::perms::owner_all); }

    TestSystem system_;  // only for its temporary root
    fs::path home_ = system_.root() / "home";
    fs::path program_ = system_.root() / "opt";
};

TEST_F(ProgramFolders, InstalledInAFolderTheUserCannotWriteUsesTheUsersOwnFolders) {
    fs::permissions(program_, fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    const std::string report = runAsUser(home_, [&] { return startProgramIn(program_); });
    if (report == kNoOrdinaryUser) GTEST_SKIP() << "root cannot become an ordinary user here";

    const fs::path downloads = home_ / "Downloads" / platform::pathFromUtf8("下载的文件");
    EXPECT_EQ(report, platform::utf8FromPath(downloads) + "\n" +
                          platform::utf8FromPath(home_ / ".cache" / "quorvane-downloader") +
                          "\n113");
    EXPECT_EQ(everythingBelow(program_), std::vector<fs::path>{}) << "nothing written there";
}

TEST_F(ProgramFolders, PortableInAFolderTheUserCanWriteKeepsEverythingBesideTheProgram) {
    const std::string report = runAsUser(home_, [&] { return startProgramIn(program_); });
    if (report == kNoOrdinaryUser) GTEST_SKIP() << "root cannot become an ordinary user here";

    const fs::path downloads = program_ / platform::pathFromUtf8("下载的文件");
    EXPECT_EQ(report, platform::utf8FromPath(downloads) + "\n" + platform::utf8FromPath(program_) +
                          "\n113");
    EXPECT_EQ(everythingBelow(home_), std::vector<fs::path>{}) << "the user's folders untouched";
}

}  // namespace
}  // namespace quorvane::test
