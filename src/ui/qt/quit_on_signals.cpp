#include "ui/qt/quit_on_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <array>
#include <csignal>

namespace quorvane::ui {

namespace {

// Ctrl-C, a polite kill, a closed terminal or ended session, Ctrl-\.
constexpr std::array kQuitSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Where the signal handler writes; -1 while no instance exists.
volatile sig_atomic_t signalWriteEnd = -1;

extern "C" void writeSignalByte(int) {
    const int fd = signalWriteEnd;
    if (fd < 0) return;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
}

void setSignalHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kQuitSignals) sigaction(signal, &action, nullptr);
}

std::array<int, 2> makeSocketPair() {
    std::array<int, 2> ends{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends.data()) != 0) {
        return {-1, -1};
    }
    return ends;
}

}  // namespace

QuitOnSignals::QuitOnSignals() : QuitOnSignals(makeSocketPair()) {}

QuitOnSignals::QuitOnSignals(std::array<int, 2> socketEnds)
    : readEnd_(socketEnds[0]), writeEnd_(socketEnds[1]) {
    Q_ASSERT(signalWriteEnd < 0);
    if (!readEnd_.valid() || !writeEnd_.valid()) return;
    signalWriteEnd = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignals::onSignalByte);
    setSignalHandler(writeSignalByte);
}

QuitOnSignals::~QuitOnSignals() {
    if (!notifier_) return;
    setSignalHandler(SIG_DFL);
    signalWriteEnd = -1;
}

void QuitOnSignals::onSignalByte() {
    std::array<char, 16> bytes{};
    while (::read(readEnd_.get(), bytes.data(), bytes.size()) > 0) {
    }
    // exit, not quit: quit asks every window to close first, and a window with a download under
    // way would ask the user, who is not there to answer.
    QCoreApplication::exit(0);
}

}  // namespace quorvane::ui
