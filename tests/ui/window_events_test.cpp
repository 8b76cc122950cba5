// Which operation each event of the window, its controls and its timers starts, and when.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "recording_events.h"
#include "ui/qt/main_window.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::RecordingEvents;
using testing::waitUntil;

class WindowEventsTest : public ::testing::Test {
  protected:
    WindowEventsTest() { window.setEvents(&events); }

    RecordingEvents events;
    MainWindow window{QUrl()};
};

TEST_F(WindowEventsTest, ConnectionCountWriteRunsTheCorrectionBeforeItReturns) {
    std::string seenByCorrection;
    events.onClamp = [&] { seenByCorrection = window.text(Control::编辑框2); };

    window.setText(Control::编辑框2, "7");
    EXPECT_EQ(events.clamps, 1);
    EXPECT_EQ(seenByCorrection, "7");

    // Writing the same text again still counts as a change.
    window.setText(Control::编辑框2, "7");
    EXPECT_EQ(events.clamps, 2);
}

TEST_F(WindowEventsTest, CorrectionWritingTheBoxSeesItsOwnWriteAndSettles) {
    events.onClamp = [&] {
        if (std::stoi(window.text(Control::编辑框2)) > 10) window.setText(Control::编辑框2, "10");
    };
    window.setText(Control::编辑框2, "50");
    EXPECT_EQ(window.text(Control::编辑框2), "10");
    EXPECT_EQ(events.clamps, 2);
}

TEST_F(WindowEventsTest, OtherWritesRaiseNoCorrection) {
    window.setText(Control::编辑框A1, "http://example.invalid/a.rar");
    window.setText(Control::透明标签1, "x");
    window.setDisabled(Control::编辑框2, true);
    EXPECT_EQ(events.clamps, 0);
}

TEST_F(WindowEventsTest, ChoosingFromTheProgramRaisesNothingButTheUsersChoiceDoes) {
    window.addItem("甲(电信下载)");
    window.addItem("乙(网通下载)");
    window.setChosenItem(0);
    window.setChosenItem(1);
    window.setChosenItem(0);
    EXPECT_EQ(events.entrySettings, 0);

    window.show();
    QTest::keyClick(window.controls().组合框1, Qt::Key_Down);
    EXPECT_EQ(window.chosenItem(), 1);
    EXPECT_EQ(window.text(Control::组合框1), "乙(网通下载)");
    EXPECT_EQ(events.entrySettings, 1);
}

TEST_F(WindowEventsTest, EachButtonStartsItsOwnOperation) {
    const struct {
        Control button;
        const int* counter;
    } rows[] = {
        {Control::超级按钮_接收, &events.queues},
        {Control::超级按钮_取消, &events.cancels},
        {Control::超级按钮_打开已下载文件, &events.folderOpens},
    };
    window.show();
    for (const auto& row : rows) {
        auto* button = qobject_cast<QPushButton*>(window.controls().widget(row.button));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(*row.counter, 1) << static_cast<int>(row.button);
    }
    EXPECT_EQ(events.queues + events.cancels + events.folderOpens, 3);
}

TEST_F(WindowEventsTest, ClickOnADisabledButtonStartsNothing) {
    window.show();
    window.setDisabled(Control::超级按钮_接收, true);
    QTest::mouseClick(window.controls().超级按钮_接收, Qt::LeftButton);
    EXPECT_EQ(events.queues, 0);
}

TEST_F(WindowEventsTest, TimersTickWhileThereIsWorkAndRestUntilSomethingMayGiveThemSome) {
    window.show();
    ASSERT_TRUE(waitUntil([&] { return events.progressTicks >= 5 && events.multiFileTicks >= 5; }));

    events.work = false;
    ASSERT_TRUE(waitUntil([&] { return !window.timersTicking(); }));
    const int resting = events.progressTicks + events.multiFileTicks;
    QTest::qWait(100);
    EXPECT_EQ(events.progressTicks + events.multiFileTicks, resting);

    const std::pair<const char*, std::function<void()>> wakers[] = {
        {"a text written", [&] { window.setText(Control::透明标签1, "x"); }},
        {"a button disabled", [&] { window.setDisabled(Control::超级按钮_接收, false); }},
        {"the bar moved", [&] { window.setPosition(5); }},
        {"the tip changed", [&] { window.setTrayIcon("tip"); }},
        {"an item added", [&] { window.addItem("甲"); }},
        {"start pressed",
         [&] { QTest::mouseClick(window.controls().超级按钮_接收, Qt::LeftButton); }},
    };
    for (const auto& [what, wake] : wakers) {
        SCOPED_TRACE(what);
        const int progressTicks = events.progressTicks;
        const int multiFileTicks = events.multiFileTicks;
        wake();
        EXPECT_TRUE(waitUntil([&] {
            return events.progressTicks > progressTicks && events.multiFileTicks > multiFileTicks;
        }));
        EXPECT_TRUE(waitUntil([&] { return !window.timersTicking(); }));
    }

    // Work found on a tick keeps them going.
    events.work = true;
    window.setText(Control::透明标签1, "y");
    const int ticks = events.progressTicks;
    EXPECT_TRUE(waitUntil([&] { return events.progressTicks >= ticks + 5; }));
    EXPECT_TRUE(window.timersTicking());
}

TEST_F(WindowEventsTest, RefusedCloseKeepsTheWindowOpen) {
    QSignalSpy accepted(&window, &MainWindow::closeAccepted);
    window.show();
    events.allowClose = false;
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_EQ(accepted.count(), 0);
}

TEST_F(WindowEventsTest, GrantedCloseClosesTheWindowAndSaysSo) {
    QSignalSpy accepted(&window, &MainWindow::closeAccepted);
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_EQ(accepted.count(), 1);
}

TEST_F(WindowEventsTest, TrayIconClickIsAClickAndOtherActionsAreNot) {
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    emit tray->activated(QSystemTrayIcon::Trigger);
    emit tray->activated(QSystemTrayIcon::Context);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    ASSERT_EQ(events.trayKinds.size(), 4u);
    EXPECT_EQ(events.trayKinds[0], TrayEvent::click);
    for (size_t i = 1; i < events.trayKinds.size(); ++i) {
        EXPECT_NE(events.trayKinds[i], TrayEvent::click);
    }
}

TEST_F(WindowEventsTest, NothingFiresBeforeTheEventsAreSet) {
    MainWindow bare{QUrl()};
    bare.setText(Control::编辑框2, "50");
    bare.show();
    EXPECT_TRUE(bare.close());
    EXPECT_EQ(bare.text(Control::编辑框2), "50");
}

}  // namespace
}  // namespace quorvane::ui
