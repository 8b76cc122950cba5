// Message boxes: the buttons and icons of the platform's flags, in Chinese, modal, with the
// window's timers ticking on while they are open, and exactly the given title where the window
// system shows it (on X11, where Qt could add the application's name, as the window manager reads
// it).

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QWindow>

#include <thread>

#include "recording_events.h"
#include "ui/qt/main_window.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::RecordingEvents;

// The title the window system shows for a window: _NET_WM_NAME on X11, otherwise what Qt hands
// the platform.
QString windowSystemTitle(QWidget& window) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        return window.windowHandle() ? window.windowHandle()->title() : QString();
    }
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("-notype"),
                 QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(5000)) return QStringLiteral("(xprop did not answer)");
    // _NET_WM_NAME = "title"
    const QString answer = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const auto first = answer.indexOf(QLatin1Char('"'));
    const auto last = answer.lastIndexOf(QLatin1Char('"'));
    return first >= 0 && last > first ? answer.mid(first + 1, last - first - 1) : answer;
}

// What a box looked like while it was open.
struct SeenBox {
    QString title;
    QString windowSystemTitle;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
};

// Watches for the next message box, notes what it shows and presses the button with the given
// caption once ready() holds.
class BoxAnswerer {
  public:
    BoxAnswerer(
        QString press, std::function<bool()> ready = [] { return true; })
        : press_(std::move(press)), ready_(std::move(ready)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { answerIfOpen(); });
        poll_.start(5);
    }
    SeenBox seen;

  private:
    void answerIfOpen() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !ready_()) return;
        seen.title = box->windowTitle();
        seen.windowSystemTitle = windowSystemTitle(*box);
        seen.text = box->text();
        seen.icon = box->icon();
        seen.modal = box->isModal();
        for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == press_) {
                poll_.stop();
                button->click();
                return;
            }
        }
    }

    QString press_;
    std::function<bool()> ready_;
    QTimer poll_;
};

class MessageBoxTest : public ::testing::Test {
  protected:
    MessageBoxTest() {
        window.setEvents(&events);
        window.show();
    }
    RecordingEvents events;
    MainWindow window{QUrl()};
};

TEST_F(MessageBoxTest, FlagsChooseButtonsIconAndAnswer) {
    const struct {
        const char* title;
        MessageBoxFlags flags;
        QString press;
        QStringList buttons;
        QMessageBox::Icon icon;
        MessageBoxAnswer answer;
    } rows[] = {
        {"是否取消下载",
         kYesNoQuestion,
         QStringLiteral("是"),
         {QStringLiteral("是"), QStringLiteral("否")},
         QMessageBox::Question,
         MessageBoxAnswer::yes},
        {"正在下载文件",
         kYesNoQuestion,
         QStringLiteral("否"),
         {QStringLiteral("是"), QStringLiteral("否")},
         QMessageBox::Question,
         MessageBoxAnswer::no},
        {"下载已完成",
         kInformation,
         QStringLiteral("确定"),
         {QStringLiteral("确定")},
         QMessageBox::Information,
         MessageBoxAnswer::ok},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.press.toStdString());
        BoxAnswerer answerer(row.press);
        const MessageBoxAnswer answer =
            window.messageBox("下载已完成：37%，要取消下载吗？", row.title, row.flags);
        EXPECT_EQ(answer, row.answer);
        EXPECT_EQ(answerer.seen.buttons, row.buttons);
        EXPECT_EQ(answerer.seen.icon, row.icon);
        EXPECT_TRUE(answerer.seen.modal);
        EXPECT_EQ(answerer.seen.title.toStdString(), row.title);
        EXPECT_EQ(answerer.seen.windowSystemTitle.toStdString(), row.title);
        EXPECT_EQ(answerer.seen.text, QStringLiteral("下载已完成：37%，要取消下载吗？"));
    }
}

TEST_F(MessageBoxTest, TimersTickOnWhileABoxIsOpen) {
    int ticksAtOpen = -1;
    BoxAnswerer answerer(QStringLiteral("确定"), [&] {
        if (ticksAtOpen < 0) ticksAtOpen = events.progressTicks;
        return events.progressTicks >= ticksAtOpen + 5 && events.multiFileTicks >= 5;
    });
    window.messageBox("磁盘可用空间不足", "提示", kInformation);
    EXPECT_GE(events.progressTicks, ticksAtOpen + 5);
}

TEST_F(MessageBoxTest, WorkerThreadGetsTheAnswerOfTheBoxShownForIt) {
    BoxAnswerer answerer(QStringLiteral("是"));
    std::atomic<bool> done{false};
    MessageBoxAnswer answer = MessageBoxAnswer::no;
    std::thread worker([&] {
        answer = window.messageBox("继续吗？", "问题", kYesNoQuestion);
        done = true;
    });
    const bool finished = testing::waitUntil([&] { return done.load(); });
    if (!finished) window.stopServingWorkers();
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(answer, MessageBoxAnswer::yes);
    EXPECT_EQ(answerer.seen.buttons, (QStringList{QStringLiteral("是"), QStringLiteral("否")}));
}

}  // namespace
}  // namespace quorvane::ui
