// One program a user: the first run holds the lock, a later one reaches it through the socket
// and its window comes forward; a lock left by a run that is gone is taken over.

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include "recording_events.h"
#include "ui/qt/main_window.h"
#include "ui/qt/single_instance.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::RecordingEvents;
using testing::waitUntil;

TEST(SingleInstance, ALaterStartReachesTheFirstWhoseWindowComesForward) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RecordingEvents events;
    MainWindow window(QUrl{});
    window.setEvents(&events);
    SingleInstance first(folder.path());
    ASSERT_TRUE(first.first());
    QObject::connect(&first, &SingleInstance::showRequested, &window, &MainWindow::comeToFront);
    window.showMinimized();
    window.hide();

    SingleInstance later(folder.path());
    EXPECT_FALSE(later.first());
    ASSERT_TRUE(later.askFirstToShow());
    EXPECT_TRUE(waitUntil([&] { return window.isVisible(); }, 10000));
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
}

// A run killed with SIGKILL leaves its lock file and its socket behind.
TEST(SingleInstance, TheLockOfARunThatIsGoneIsTakenOver) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const pid_t child = ::fork();
    if (child == 0) {
        SingleInstance killed(folder.path());
        ::_exit(killed.first() ? 0 : 1);  // no destructor: as if killed
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(QFile::exists(folder.filePath(QStringLiteral("quorvane-downloader.lock"))));
    ASSERT_TRUE(QFile::exists(folder.filePath(QStringLiteral("quorvane-downloader.socket"))));

    SingleInstance next(folder.path());
    ASSERT_TRUE(next.first());
    SingleInstance later(folder.path());
    EXPECT_FALSE(later.first());
    QSignalSpy asked(&next, &SingleInstance::showRequested);
    ASSERT_TRUE(later.askFirstToShow());
    EXPECT_TRUE(asked.wait(10000));
}

}  // namespace
}  // namespace quorvane::ui
