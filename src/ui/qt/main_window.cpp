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
}

void MainWindow::stopServingWorkers() {
    assertOnGuiThread();
    workerCalls_.stopServing();
}

void MainWindow::connectControlEvents() {
    // activated, not currentIndexChanged: only the user's choice counts, never the program's.
    connect(controls_.组合框1, &QComboBox::activated, this, [this] {
        if (events_) events_->applyEntrySettings();
    });
    connect(controls_.超级按钮_接收, &QPushButton::clicked, this, [this] {
        if (events_) events_->composeDownloadQueue();
    });
    connect(controls_.超级按钮_取消, &QPushButton::clicked, this, [this] {
        if (events_) events_->onCancelClicked();
    });
    connect(controls_.超级按钮_打开已下载文件, &QPushButton::clicked, this, [this] {
        if (events_) events_->openDownloadFolder();
    });
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, &MainWindow::onTrayActivated);
}

// Both run from the window's creation to the program's end; nothing stops them.
void MainWindow::startTimers() {
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (events_) events_->showProgress();
    });
    connect(&multiFileTimer_, &QTimer::timeout, this, [this] {
        if (events_) events_->onMultiFileTimerTick();
    });
    progressTimer_.start(kTimerIntervalMs);
    multiFileTimer_.start(kTimerIntervalMs);
}

void MainWindow::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (events_) events_->onTrayEvent(trayEventKind(reason));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (events_ && !events_->onCloseRequest()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closeAccepted();
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
