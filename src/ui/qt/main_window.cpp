#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "ui/qt/program_icon.h"
#include "ui/qt/start_page_view.h"
#include "ui/qt/window_thread_queue.h"
#include "ui/start_page.h"
#include "ui/window_definition.h"
#include "ui/window_events.h"

namespace quorvane::ui {

namespace {

// The timers' defined 1 ms means "as fast as the platform's timers go"; Windows holds its timers
// to 10 ms, and so does this window.
constexpr int kQtTimerIntervalMs = 10;

TrayEvent trayEventKind(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return TrayEvent::click;
        case QSystemTrayIcon::Context:
            return TrayEvent::contextMenu;
        case QSystemTrayIcon::DoubleClick:
            return TrayEvent::doubleClick;
        case QSystemTrayIcon::MiddleClick:
            return TrayEvent::middleClick;
        default:
            return TrayEvent::other;
    }
}

}  // namespace

MainWindow::MainWindow(const QUrl& startPage)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      timers_(
          [this](WindowTimer which) {
              timer(which).start(kQtTimerIntervalMs);
              return true;
          },
          [this](WindowTimer which) { timer(which).stop(); }),
      trayIcon_(this),
      workerCalls_(windowThreadQueueOf(this)) {
    setWindowTitle(
        QString::fromUtf8(kWindowCaption.data(), static_cast<qsizetype>(kWindowCaption.size())));
    setWindowIcon(programIcon());
    setFixedSize(kClientWidth, kClientHeight);
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
    const std::string_view page = ui::defaultStartPage();
    return QUrl(QString::fromUtf8(page.data(), static_cast<qsizetype>(page.size())));
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

void MainWindow::startTimers() {
    for (WindowTimer which : {WindowTimer::progress, WindowTimer::multiFile}) {
        connect(&timer(which), &QTimer::timeout, this,
                [this, which] { timers_.tick(which, events_); });
    }
    wakeTimers();
}

QTimer& MainWindow::timer(WindowTimer which) {
    return which == WindowTimer::progress ? progressTimer_ : multiFileTimer_;
}

bool MainWindow::timersTicking() const {
    return timers_.ticking();
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
        move(area.center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
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
