#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "ui/qt/program_icon.h"
#include "ui/qt/start_page_view.h"
#include "ui/window_events.h"

#ifndef QUORVANE_WEB_HOME
#define QUORVANE_WEB_HOME "http://127.0.0.1:18080/downlist.htm"
#endif

namespace quorvane::ui {

namespace {

constexpr QSize kClientSize(448, 432);
// Frame and title bar included; used to centre the window before the frame is known.
constexpr QSize kOuterSize(454, 461);
// Windows' timers cannot tick faster than this; the timers' stored 1 ms means "as fast as the
// platform's timers go".
constexpr int kTimerIntervalMs = 10;

// Kinds of mouse action on the notification-area icon, as the program numbers them.
constexpr int kTrayClick = 1;
constexpr int kTrayContextMenu = 2;
constexpr int kTrayDoubleClick = 3;
constexpr int kTrayMiddleClick = 4;
constexpr int kTrayOther = 0;

int trayEventKind(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return kTrayClick;
        case QSystemTrayIcon::Context:
            return kTrayContextMenu;
        case QSystemTrayIcon::DoubleClick:
            return kTrayDoubleClick;
        case QSystemTrayIcon::MiddleClick:
            return kTrayMiddleClick;
        default:
            return kTrayOther;
    }
}

}  // namespace

MainWindow::MainWindow(const QUrl& startPage)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      trayIcon_(this),
      workerCalls_(this) {
    setWindowTitle(QStringLiteral("Quorvane下载器"));
    setWindowIcon(programIcon());
    setFixedSize(kClientSize);
    controls_ = createWindowControls(this);
    trayIcon_.setIcon(programIcon());
    connectControlEvents();
    startTimers();
    if (!startPage.isEmpty()) controls_.超文本浏览框1->load(startPage);
}

MainWindow::~MainWindow() {
    stopServingWorkers();
    trayIcon_.hide();
}

QUrl MainWindow::defaultStartPage() {
    return QUrl(QStringLiteral(QUORVANE_WEB_HOME));
}

void MainWindow::setEvents(WindowEvents* events) {
    assertOnGuiThread();
    events_ = events;
    wakeTimers();
}

void MainWindow::stopServingWorkers() {
    assertOnGuiThread();
    workerCalls_.stopServing();
}

void MainWindow::connectControlEvents() {
    // activated, not currentIndexChanged: only the user's choice counts, never the program's.
    connect(controls_.组合框1, &QComboBox::activated, this,
            [this] { deliver(&WindowEvents::applyEntrySettings); });
    connect(controls_.超级按钮_接收, &QPushButton::clicked, this,
            [this] { deliver(&WindowEvents::composeDownloadQueue); });
    connect(controls_.超级按钮_取消, &QPushButton::clicked, this,
            [this] { deliver(&WindowEvents::onCancelClicked); });
    connect(controls_.超级按钮_打开已下载文件, &QPushButton::clicked, this,
            [this] { deliver(&WindowEvents::openDownloadFolder); });
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, &MainWindow::onTrayActivated);
}

void MainWindow::deliver(void (WindowEvents::*handler)()) {
    wakeTimers();
    if (events_) (events_->*handler)();
}

// Both tick at their interval from the window's creation to the program's end whenever a tick
// can have work. In between they rest, so that an idle window costs next to nothing; whatever
// can give them work (an event of the window, a change to a control) wakes them first.
void MainWindow::startTimers() {
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (events_) events_->showProgress();
        restWithoutWork(progressTimer_);
    });
    connect(&multiFileTimer_, &QTimer::timeout, this, [this] {
        if (events_) events_->onMultiFileTimerTick();
        restWithoutWork(multiFileTimer_);
    });
    wakeTimers();
}

void MainWindow::wakeTimers() {
    if (!progressTimer_.isActive()) progressTimer_.start(kTimerIntervalMs);
    if (!multiFileTimer_.isActive()) multiFileTimer_.start(kTimerIntervalMs);
}

// Each timer rests after a tick of its own, so that a woken timer always gets one.
void MainWindow::restWithoutWork(QTimer& timer) {
    if (!events_ || !events_->timersHaveWork()) timer.stop();
}

bool MainWindow::timersTicking() const {
    return progressTimer_.isActive() || multiFileTimer_.isActive();
}

void MainWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    wakeTimers();
    if (events_) events_->onTrayEvent(trayEventKind(reason));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    wakeTimers();
    if (events_ && !events_->onCloseRequest()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closeAccepted();
}

void MainWindow::comeToFront() {
    showWindow();
    setWindowState(WindowState::normal);
}

void MainWindow::showCentred() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kOuterSize.width() / 2, kOuterSize.height() / 2));
    }
    show();
}

QImage MainWindow::image() {
    assertOnGuiThread();
    return grab().toImage();
}

bool MainWindow::saveImage(const QString& pngPath) {
    return image().save(pngPath, "PNG");
}

QString MainWindow::trayTip() const {
    return trayIcon_.toolTip();
}

void MainWindow::assertOnGuiThread() const {
    Q_ASSERT_X(QThread::currentThread() == thread(), "MainWindow", "called off the GUI thread");
}

}  // namespace quorvane::ui
