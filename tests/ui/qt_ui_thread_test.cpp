// Posting work to the window's thread.

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/qt/qt_ui_thread.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::waitUntil;

TEST(QtUiThreadTest, TasksFromAWorkerRunOnTheGuiThreadInOrder) {
    QtUiThread uiThread;
    std::vector<int> order;
    std::atomic<int> offGuiThread{0};
    QThread* const guiThread = QThread::currentThread();
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            uiThread.post([&, i] {
                if (QThread::currentThread() != guiThread) ++offGuiThread;
                order.push_back(i);
            });
        }
    });
    worker.join();
    EXPECT_TRUE(order.empty());  // nothing runs before the event loop gets to it
    ASSERT_TRUE(waitUntil([&] { return order.size() == 100; }));
    EXPECT_EQ(offGuiThread, 0);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(QtUiThreadTest, PostFromTheGuiThreadRunsLaterNotInside) {
    QtUiThread uiThread;
    bool ran = false;
    uiThread.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(waitUntil([&] { return ran; }));
}

TEST(QtUiThreadTest, TasksQueuedWhenTheLoopEndsAreDropped) {
    QtUiThread uiThread;
    int runs = 0;
    uiThread.post([&] { ++runs; });
    uiThread.close();
    uiThread.post([&] { ++runs; });
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(runs, 0);
}

TEST(QtUiThreadTest, DestroyedUiThreadLeavesNoTaskBehind) {
    int runs = 0;
    {
        QtUiThread uiThread;
        uiThread.post([&] { ++runs; });
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(runs, 0);
}

}  // namespace
}  // namespace quorvane::ui
