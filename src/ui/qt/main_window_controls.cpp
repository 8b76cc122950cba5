// MainWindow's control operations. Each public operation runs on the window's thread: directly
// when called there, through workerCalls_ from any other thread. Every change wakes the timers:
// it may be the program giving them work.

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>

#include "ui/control_rules.h"
#include "ui/qt/main_window.h"
#include "ui/qt/message_box.h"
#include "ui/window_events.h"

namespace quorvane::ui {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MainWindow::setText(Control control, std::string_view text) {
    callOnGuiThread(workerCalls_, [&] { applyText(control, fromUtf8(text)); });
}

std::string MainWindow::text(Control control) {
    return callOnGuiThread(workerCalls_, std::string(),
                           [&] { return readText(control).toStdString(); });
}

void MainWindow::setDisabled(Control control, bool disabled) {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        controls_.widget(control)->setEnabled(!disabled);
    });
}

bool MainWindow::isDisabled(Control control) {
    return callOnGuiThread(workerCalls_, true,
                           [&] { return !controls_.widget(control)->isEnabled(); });
}

void MainWindow::addItem(std::string_view text) {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        controls_.组合框1->addItem(fromUtf8(text));
    });
}

void MainWindow::setChosenItem(int index) {
    // The chooser's activated signal stays silent: it answers only the user.
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        controls_.组合框1->setCurrentIndex(index);
    });
}

int MainWindow::chosenItem() {
    return callOnGuiThread(workerCalls_, -1, [&] { return controls_.组合框1->currentIndex(); });
}

void MainWindow::setPosition(int position) {
    // QProgressBar ignores values outside its range; the bar stops at its ends instead.
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        controls_.进度条->setValue(std::clamp(position, 0, 100));
    });
}

int MainWindow::position() {
    return callOnGuiThread(workerCalls_, 0, [&] { return controls_.进度条->value(); });
}

void MainWindow::showWindow() {
    callOnGuiThread(workerCalls_, [&] { show(); });
}

void MainWindow::setWindowState(WindowState state) {
    callOnGuiThread(workerCalls_, [&] { applyWindowState(state); });
}

bool MainWindow::setTrayIcon(std::string_view tip) {
    return callOnGuiThread(workerCalls_, false, [&] { return applyTrayIcon(fromUtf8(tip)); });
}

void MainWindow::removeTrayIcon() {
    callOnGuiThread(workerCalls_, [&] {
        wakeTimers();
        trayIcon_.hide();
    });
}

MessageBoxAnswer MainWindow::messageBox(std::string_view text, std::string_view title,
                                        MessageBoxFlags flags) {
    return callOnGuiThread(workerCalls_, MessageBoxAnswer::no, [&] {
        return showMessageBox(this, fromUtf8(text), fromUtf8(title), flags);
    });
}

void MainWindow::applyText(Control control, const QString& text) {
    assertOnGuiThread();
    wakeTimers();
    QWidget* widget = controls_.widget(control);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        // The progress timer writes its texts on every tick; only a change is drawn again.
        if (label->text() != text) label->setText(text);
    } else if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        box->setText(text);
        afterTextWritten(events_, control);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    }
}

QString MainWindow::readText(Control control) const {
    assertOnGuiThread();
    QWidget* widget = controls_.widget(control);
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
    if (auto* chooser = qobject_cast<QComboBox*>(widget)) return chooser->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return {};
}

void MainWindow::applyWindowState(WindowState state) {
    assertOnGuiThread();
    wakeTimers();
    if (state == WindowState::minimised) {
        QWidget::setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    QWidget::setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    raise();
    activateWindow();
}

bool MainWindow::applyTrayIcon(const QString& tip) {
    assertOnGuiThread();
    wakeTimers();
    trayIcon_.setToolTip(tip);
    if (!trayIcon_.isVisible()) trayIcon_.show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace quorvane::ui
