// The control operations as the program's logic uses them, from the window's thread and from
// worker threads, and the end of serving workers when the window closes.

#include <gtest/gtest.h>

#include <QEvent>
#include <QTest>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <atomic>
#include <thread>
#include <vector>

#include "recording_events.h"
#include "ui/qt/main_window.h"
#include "wait_until.h"

namespace quorvane::ui {
namespace {

using testing::RecordingEvents;
using testing::waitUntil;

class WindowControlsTest : public ::testing::Test {
  protected:
    WindowControlsTest() { window.setEvents(&events); }

    // Runs body on a worker thread while this thread serves the window, and waits for it.
    template <typename Body>
    void onWorker(Body body) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            body();
            done = true;
        });
        const bool finished = waitUntil([&] { return done.load(); });
        if (!finished) window.stopServingWorkers();  // never leave the worker hanging
        worker.join();
        EXPECT_TRUE(finished);
    }

    RecordingEvents events;
    MainWindow window{QUrl()};
};

TEST_F(WindowControlsTest, TextsRoundTripInUtf8) {
    const std::pair<Control, std::string> writes[] = {
        {Control::透明标签1, "请选择要下载的文件！"},
        {Control::解压哪个文件透明标签, "下载完成后，请解压：客户端.rar"},
        {Control::下载进度透明标签, "下载已完成：37%"},
        {Control::当前文件透明标签, "正在下载第1个文件，共2个文件"},
        {Control::编辑框A1, "ftp://127.0.0.1/客户端(第一部分).rar"},
        {Control::编辑框2, "1"},
    };
    for (const auto& [control, text] : writes) {
        window.setText(control, text);
        EXPECT_EQ(window.text(control), text) << static_cast<int>(control);
    }
}

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The progress timer writes the same texts on every tick; only a change is drawn again.
TEST_F(WindowControlsTest, ALabelIsDrawnAgainOnlyWhenItsTextChanges) {
    window.show();
    QWidget* label = window.controls().widget(Control::当前文件透明标签);
    window.setText(Control::当前文件透明标签, "正在下载第1个文件，共2个文件");
    PaintCounter counter(label);
    QTest::qWait(200);  // the window's first drawing is over
    const int before = counter.paints;
    for (int tick = 0; tick < 20; ++tick) {
        window.setText(Control::当前文件透明标签, "正在下载第1个文件，共2个文件");
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(counter.paints, before);
    window.setText(Control::当前文件透明标签, "正在下载第2个文件，共2个文件");
    EXPECT_TRUE(waitUntil([&] { return counter.paints > before; }, 5000));
}

TEST_F(WindowControlsTest, DisabledStateIsWhatWasLastSet) {
    for (Control control : {Control::超级按钮_接收, Control::超级按钮_取消,
                            Control::超级按钮_打开已下载文件, Control::组合框1, Control::编辑框2}) {
        window.setDisabled(control, true);
        EXPECT_TRUE(window.isDisabled(control));
        EXPECT_FALSE(window.controls().widget(control)->isEnabled());
        window.setDisabled(control, false);
        EXPECT_FALSE(window.isDisabled(control));
    }
    EXPECT_TRUE(window.isDisabled(Control::透明标签1));
}

TEST_F(WindowControlsTest, ChooserReadsTheChosenItemOrNothing) {
    EXPECT_EQ(window.text(Control::组合框1), "");
    window.addItem("第一项");
    window.addItem("第二项");
    window.setChosenItem(1);
    EXPECT_EQ(window.chosenItem(), 1);
    EXPECT_EQ(window.text(Control::组合框1), "第二项");
    window.setChosenItem(-1);
    EXPECT_EQ(window.chosenItem(), -1);
    EXPECT_EQ(window.text(Control::组合框1), "");
}

TEST_F(WindowControlsTest, ProgressPositionStaysWithinTheBar) {
    const std::pair<int, int> rows[] = {{37, 37}, {100, 100}, {0, 0}, {150, 100}, {-5, 0}};
    for (const auto& [written, shown] : rows) {
        window.setPosition(written);
        EXPECT_EQ(window.position(), shown) << written;
        EXPECT_EQ(window.controls().进度条->value(), shown) << written;
    }
}

TEST_F(WindowControlsTest, WindowStateGoesToMinimisedAndBackToNormal) {
    window.showWindow();
    ASSERT_TRUE(window.isVisible());
    window.setWindowState(WindowState::minimised);
    EXPECT_TRUE(window.isMinimized());
    window.setWindowState(WindowState::normal);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_FALSE(window.isMaximized());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowControlsTest, TrayIconCarriesTheTipItWasLastGiven) {
    window.setTrayIcon("单击打开Quorvane下载器");
    EXPECT_EQ(window.trayTip(), QStringLiteral("单击打开Quorvane下载器"));
    window.setTrayIcon("下载已完成：37%");
    EXPECT_EQ(window.trayTip(), QStringLiteral("下载已完成：37%"));
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    EXPECT_FALSE(tray->icon().isNull());
    window.removeTrayIcon();
    EXPECT_FALSE(tray->isVisible());
}

TEST_F(WindowControlsTest, WorkerCallsAreCarriedOutBeforeTheyReturn) {
    std::string readBack;
    int chosen = -2;
    bool disabled = false;
    onWorker([&] {
        window.setDisabled(Control::超级按钮_接收, true);
        window.setText(Control::透明标签1, "正在读取文件列表，请稍候！(2)");
        window.addItem("客户端(电信下载)");
        window.setChosenItem(0);
        window.setText(Control::编辑框2, "3");
        readBack = window.text(Control::透明标签1);
        chosen = window.chosenItem();
        disabled = window.isDisabled(Control::超级按钮_接收);
    });
    EXPECT_EQ(readBack, "正在读取文件列表，请稍候！(2)");
    EXPECT_EQ(chosen, 0);
    EXPECT_TRUE(disabled);
    EXPECT_FALSE(window.controls().超级按钮_接收->isEnabled());
    EXPECT_EQ(window.text(Control::组合框1), "客户端(电信下载)");
    // The write's correction ran too, on the window's thread, before the worker went on.
    EXPECT_EQ(events.clamps, 1);
    EXPECT_EQ(events.entrySettings, 0);
}

TEST_F(WindowControlsTest, StoppingServiceReleasesAWorkerBlockedInACall) {
    std::atomic<bool> calling{false};
    std::string answer = "unset";
    std::thread worker([&] {
        calling = true;
        answer = window.text(Control::透明标签1);
        window.setText(Control::透明标签1, "too late");
    });
    // This thread serves nothing meanwhile; whether the worker is already waiting or calls only
    // after the stop, it must come back.
    while (!calling) std::this_thread::yield();
    window.stopServingWorkers();
    worker.join();

    EXPECT_EQ(answer, "");
    QCoreApplication::processEvents();  // a call left queued must not run now
    EXPECT_EQ(window.text(Control::透明标签1), "正在读取文件列表，请稍候！(1)");
}

TEST_F(WindowControlsTest, StoppedWindowAnswersWorkersWithAnEmptyDisabledWindow) {
    window.addItem("客户端");
    window.setChosenItem(0);
    window.setPosition(50);
    window.stopServingWorkers();
    std::thread worker([&] {
        EXPECT_EQ(window.text(Control::组合框1), "");
        EXPECT_TRUE(window.isDisabled(Control::超级按钮_接收));
        EXPECT_EQ(window.chosenItem(), -1);
        EXPECT_EQ(window.position(), 0);
        EXPECT_EQ(window.messageBox("x", "y", kYesNoQuestion), MessageBoxAnswer::no);
    });
    worker.join();
    // The window's own thread is still served in full.
    EXPECT_EQ(window.chosenItem(), 0);
}

TEST_F(WindowControlsTest, ManyWorkersStoppedMidwayAllComeBack) {
    constexpr int kWorkers = 4;
    std::atomic<int> callsDone{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i) {
        workers.emplace_back([&] {
            for (int call = 0; call < 1000; ++call) {
                window.setPosition(call % 101);
                window.text(Control::下载进度透明标签);
                ++callsDone;
            }
        });
    }
    ASSERT_TRUE(waitUntil([&] { return callsDone >= 200; }));
    window.stopServingWorkers();
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(callsDone, kWorkers * 1000);
}

}  // namespace
}  // namespace quorvane::ui
