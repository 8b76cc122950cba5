// The window over its whole run: its start page, a picture of it, and the way out on SIGTERM.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include "recording_events.h"
#include "ui/qt/main_window.h"
#include "ui/qt/quit_on_signals.h"
#include "ui/qt/start_page_view.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::RecordingEvents;
using testing::waitUntil;

TEST(WindowLifecycle, StartPageIsTheGameServersListPage) {
    EXPECT_TRUE(MainWindow::defaultStartPage().isValid());
    EXPECT_TRUE(MainWindow::defaultStartPage().path().endsWith(QStringLiteral("/downlist.htm")));
}

TEST(WindowLifecycle, UnreachableStartPageLeavesTheWindowWorking) {
#ifdef QUORVANE_SANITIZED_BUILD
    GTEST_SKIP() << "Qt WebEngine's Chromium fails AddressSanitizer's checks while loading a page";
#endif
    RecordingEvents events;
    MainWindow window(QUrl(QStringLiteral("http://127.0.0.1:1/downlist.htm")));
    window.setEvents(&events);
    QSignalSpy loaded(window.controls().超文本浏览框1, &QWebEngineView::loadFinished);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return loaded.count() > 0; }, 60000));
    EXPECT_FALSE(loaded.first().first().toBool());

    const int ticks = events.progressTicks;
    EXPECT_TRUE(waitUntil([&] { return events.progressTicks > ticks + 3; }));
    window.setText(Control::透明标签1, "请选择要下载的文件！");
    EXPECT_EQ(window.text(Control::透明标签1), "请选择要下载的文件！");
}

TEST(WindowLifecycle, PictureOfTheWindowIsAPngOfTheClientArea) {
    MainWindow window{QUrl()};
    window.show();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("window.png"));
    ASSERT_TRUE(window.saveImage(path));
    QImage picture(path, "PNG");
    ASSERT_FALSE(picture.isNull());
    ASSERT_EQ(picture.size(), QSize(448, 432));
    // The status line's dark blue text is in the picture.
    int bluePixels = 0;
    for (int y = 238; y < 258; ++y) {
        for (int x = 8; x < 440; ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            if (pixel.blue() - pixel.red() > 60 && pixel.green() < 100) ++bluePixels;
        }
    }
    EXPECT_GT(bluePixels, 50);
}

// Also in the middle of a download, when closing the window would ask first: nobody is there to
// answer, so the window is not asked.
TEST(WindowLifecycle, EndSignalsEndTheEventLoopWithoutAskingTheWindow) {
    RecordingEvents events;
    events.allowClose = false;
    MainWindow window{QUrl()};
    window.setEvents(&events);
    window.show();
    QuitOnSignals quitOnSignals;
    ASSERT_TRUE(quitOnSignals.installed());
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        bool gaveUp = false;
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [&] {
            gaveUp = true;
            QCoreApplication::exit(1);
        });
        giveUp.start(10000);
        QApplication::exec();
        EXPECT_FALSE(gaveUp);
        EXPECT_EQ(events.closeRequests, 0);
        EXPECT_TRUE(window.isVisible());
    }
}

}  // namespace
}  // namespace quorvane::ui
